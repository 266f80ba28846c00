#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>

namespace testing_support {

// The root folder of the running test case.
QString testRoot();

// Waits (spinning the main run loop, so main-queue work runs) until the
// condition holds or the timeout passes; answers the condition's last value.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

QByteArray readFile(const QString& path);
bool writeFile(const QString& path, const QByteArray& data);

} // namespace testing_support
