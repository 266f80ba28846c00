#pragma once

#include <QString>

#include <optional>

class QMessageBox;
class QWidget;

// The installer's two alerts. The first button answers 1000, the second
// 1001 (BRAlertResponse).

// The installation is not finished: keep going (first) or stop and quit (second).
QMessageBox* AFXInstallationIncompleteAlert(QWidget* parent);
// The installation failed: retry (first) or stop and quit (second). Without
// a description the alert gives its default one.
QMessageBox* AFXInstallationErrorAlert(const std::optional<QString>& description, QWidget* parent);
