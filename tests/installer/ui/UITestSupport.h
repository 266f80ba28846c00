#pragma once

// What the window's tests share: the application the widgets need, waiting
// while Qt's events and the main queue run, and screenshots as artifacts.

#include <QString>

#include <chrono>
#include <functional>

class QWidget;

namespace testing_support {

// Runs Qt's events (the main queue's work among them) until the condition
// holds or the timeout passes; answers the condition's last value.
bool waitForUI(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Saves what the window shows, with every alert on it drawn where it sits,
// as "<name>.png" in the screenshot folder (KESTREL_UI_SCREENSHOTS, else
// the build's "ui-screenshots").
void saveScreenshot(QWidget* window, const QString& name);

} // namespace testing_support
