#include "AFXInstallationAlerts.h"

#include "AFXInstallerAccessibilityIdentifiers.h"
#include "AFXInstallerExtensions.h"
#include "platform/Bundle.h"
#include "support/BRErrorPresentationController.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

QString localized(const QString& key) {
    return platform::Bundle::mainBundle()->localizedStringForKey(key, QString(), QString());
}

QMessageBox* makeAlert(QMessageBox::Icon icon, const QString& title, const QString& text,
                       const QString& firstButton, const QString& secondButton, const QString& identifier,
                       QWidget* parent) {
    auto* alert = new QMessageBox(parent);
    alert->setIcon(icon);
    if (icon == QMessageBox::NoIcon) {
        alert->setIconPixmap(AFXImageNamed(QStringLiteral("App0"), QSize(64, 64), qApp->devicePixelRatio()));
    }
    alert->setWindowTitle(QStringLiteral("install-orbit-notes"));
    alert->setText(title);
    alert->setInformativeText(text);
    AFXSetAccessibilityIdentifier(alert, identifier);
    const QStringList titles = {firstButton, secondButton};
    const QStringList identifiers = {AFXInstallerAccessibilityIdentifierInstallationAlertDefaultButton,
                                     AFXInstallerAccessibilityIdentifierInstallationAlertAlterButton};
    for (int index = 0; index < 2; ++index) {
        auto* button = alert->addButton(titles[index], QMessageBox::AcceptRole);
        button->setProperty(BRAlertButtonIndexProperty, index);
        AFXSetAccessibilityIdentifier(button, identifiers[index]);
    }
    alert->setDefaultButton(qobject_cast<QPushButton*>(alert->findChild<QAbstractButton*>(
        AFXInstallerAccessibilityIdentifierInstallationAlertDefaultButton)));
    return alert;
}

} // namespace

QMessageBox* AFXInstallationIncompleteAlert(QWidget* parent) {
    return makeAlert(QMessageBox::NoIcon, localized(QStringLiteral("IncompleteInstallAlertTitle")),
                     localized(QStringLiteral("IncompleteInstallAlertDescription")),
                     localized(QStringLiteral("IncompleteInstallAlertDefaultButton")),
                     localized(QStringLiteral("IncompleteInstallAlertAlterButton")),
                     AFXInstallerAccessibilityIdentifierInstallationIncompleteAlertWindow, parent);
}

QMessageBox* AFXInstallationErrorAlert(const std::optional<QString>& description, QWidget* parent) {
    return makeAlert(QMessageBox::Critical, localized(QStringLiteral("FailedInstallAlertTitle")),
                     description.value_or(localized(QStringLiteral("FailedInstallAlertDefaultDescription"))),
                     localized(QStringLiteral("FailedInstallAlertDefaultButton")),
                     localized(QStringLiteral("FailedInstallAlertAlterButton")),
                     AFXInstallerAccessibilityIdentifierInstallationErrorAlertWindow, parent);
}
