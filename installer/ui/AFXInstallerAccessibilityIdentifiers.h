#pragma once

#include <QString>
#include <QWidget>

// The names by which tests and assistive tools find the installer's
// elements: each is the element's object name and accessible name.

inline const QString AFXInstallerAccessibilityIdentifierMainWindow = QStringLiteral("installer-window");
inline const QString AFXInstallerAccessibilityIdentifierStopButton = QStringLiteral("installer.stop-button");
inline const QString AFXInstallerAccessibilityIdentifierLaunchButton =
    QStringLiteral("installer.launch-button");
inline const QString AFXInstallerAccessibilityIdentifierPaginationView =
    QStringLiteral("installer.pagination-view");
inline const QString AFXInstallerAccessibilityIdentifierInstallationStatusLabel =
    QStringLiteral("installer.status-label");
inline const QString AFXInstallerAccessibilityIdentifierOnboardingContentView =
    QStringLiteral("installer.onboarding-content-view");
inline const QString AFXInstallerAccessibilityIdentifierOnboardingTopPaneIconView =
    QStringLiteral("installer.onboarding-top-pane-icon");
inline const QString AFXInstallerAccessibilityIdentifierOnboardingTopPane =
    QStringLiteral("installer.onboarding-top-pane");
inline const QString AFXInstallerAccessibilityIdentifierOnboardingTitleLabel =
    QStringLiteral("installer.onboarding-title");
inline const QString AFXInstallerAccessibilityIdentifierOnboardingDescriptionLabel =
    QStringLiteral("installer.onboarding-description");
inline const QString AFXInstallerAccessibilityIdentifierProgressBar =
    QStringLiteral("installer.progress-bar");
inline const QString AFXInstallerAccessibilityIdentifierKestrelLogoView =
    QStringLiteral("installer.kestrel-logo-view");
inline const QString AFXInstallerAccessibilityIdentifierInstallationErrorAlertWindow =
    QStringLiteral("installer.error-alert");
inline const QString AFXInstallerAccessibilityIdentifierInstallationIncompleteAlertWindow =
    QStringLiteral("installer.incomplete-alert");
inline const QString AFXInstallerAccessibilityIdentifierInstallationAlertDefaultButton =
    QStringLiteral("installer.alert-default-button");
inline const QString AFXInstallerAccessibilityIdentifierInstallationAlertAlterButton =
    QStringLiteral("installer.alert-alter-button");
// Named for assistive tools; no element carries it yet.
inline const QString AFXInstallerAccessibilityIdentifierInstallationDirectDownloadButton =
    QStringLiteral("installer.alert-direct-download-button");

inline void AFXSetAccessibilityIdentifier(QWidget* widget, const QString& identifier) {
    widget->setObjectName(identifier);
    widget->setAccessibleName(identifier);
}
