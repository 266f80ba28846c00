#include "BRErrorPresentationController.h"

#include "BRErrorRecovery.h"
#include "BRErrorSuppressionCompletion.h"
#include "platform/DispatchQueue.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <algorithm>

namespace {

// A user-info value of the wanted kind, or none: values of another kind
// count as absent.
std::optional<platform::Value> valueOfKind(const platform::Value::Dictionary& info, const QString& key,
                                           std::initializer_list<platform::Value::Kind> kinds) {
    const auto found = info.find(key);
    if (found == info.end()) {
        return std::nullopt;
    }
    for (const auto kind : kinds) {
        if (found.value().kind() == kind) {
            return found.value();
        }
    }
    return std::nullopt;
}

bool flag(const platform::Value::Dictionary& info, const QString& key) {
    const auto value = valueOfKind(
        info, key,
        {platform::Value::Kind::Bool, platform::Value::Kind::Integer, platform::Value::Kind::Unsigned});
    return value && value->toBool();
}

// The suppression check box settings when they ask for the box to be shown.
std::optional<platform::Value::Dictionary> shownSuppressionSettings(const platform::Value::Dictionary& info) {
    const auto suppression =
        valueOfKind(info, BRErrorSuppressionButtonInfoKey, {platform::Value::Kind::Dictionary});
    if (!suppression || !flag(suppression->toDictionary(), BRErrorSuppressionButtonInfoShouldShowKey)) {
        return std::nullopt;
    }
    return suppression->toDictionary();
}

// An object of another class counts as no completion.
std::shared_ptr<BRErrorSuppressionCompletion> suppressionCompletion(const platform::Value::Dictionary& info) {
    const auto settings = shownSuppressionSettings(info);
    if (!settings) {
        return nullptr;
    }
    const auto completion =
        valueOfKind(*settings, BRErrorSuppressionButtonInfoCompletionKey, {platform::Value::Kind::Object});
    return completion ? completion->toObject<BRErrorSuppressionCompletion>() : nullptr;
}

QMessageBox::Icon iconForStyle(std::uint64_t style) {
    switch (style) {
    case 1:
        return QMessageBox::Information;
    case 2:
        return QMessageBox::Critical;
    default:
        return QMessageBox::Warning;
    }
}

} // namespace

int BRAlertResponse(const QMessageBox* alert, int code) {
    const QAbstractButton* clicked = alert->clickedButton();
    const QVariant index = clicked != nullptr ? clicked->property(BRAlertButtonIndexProperty) : QVariant();
    return index.isValid() ? BRErrorPresentationController::FirstButtonReturn + index.toInt() : code;
}

std::shared_ptr<BRErrorPresentationController> BRErrorPresentationController::make() {
    return std::shared_ptr<BRErrorPresentationController>(new BRErrorPresentationController);
}

void BRErrorPresentationController::addValidatorForErrorDomain(Validator validator, const QString& domain) {
    validatorsByErrorDomain_[domain].append(std::move(validator));
}

QMessageBox* BRErrorPresentationController::alertForError(const platform::Error& error, QWidget* parent) {
    auto* alert = new QMessageBox(parent);
    alert->setText(error.localizedDescription());
    alert->setInformativeText(error.localizedRecoverySuggestion().value_or(QString()));
    QStringList options = error.localizedRecoveryOptions();
    if (options.isEmpty()) {
        options.append(QApplication::translate("QPlatformTheme", "OK"));
    }
    for (int index = 0; index < options.size(); ++index) {
        auto* button = alert->addButton(options[index], QMessageBox::AcceptRole);
        // The box lays its buttons out in the platform's order; the answer
        // follows the order of the options.
        button->setProperty(BRAlertButtonIndexProperty, index);
        if (index == 0) {
            alert->setDefaultButton(button);
        }
    }

    const auto& info = error.userInfo();
    alert->setIcon(QMessageBox::Warning);
    if (const auto style = valueOfKind(info, BRErrorAlertStyleKey,
                                       {platform::Value::Kind::Integer, platform::Value::Kind::Unsigned})) {
        alert->setIcon(iconForStyle(style->toUnsigned()));
    }
    if (const auto icon = valueOfKind(info, BRErrorAlertIconKey, {platform::Value::Kind::Data})) {
        QPixmap pixmap;
        if (pixmap.loadFromData(icon->toData())) {
            alert->setIconPixmap(pixmap);
        }
    }
    if (const auto settings = shownSuppressionSettings(info)) {
        auto* box = new QCheckBox(alert);
        if (const auto title = valueOfKind(*settings, BRErrorSuppressionButtonInfoTitleKey,
                                           {platform::Value::Kind::String})) {
            box->setText(title->toString());
        }
        if (const auto state = valueOfKind(*settings, BRErrorSuppressionButtonInfoInitialStateKey,
                                           {platform::Value::Kind::Integer})) {
            box->setChecked(state->toInteger() != 0);
        }
        alert->setCheckBox(box);
    }
    return alert;
}

void BRErrorPresentationController::presentError(const std::optional<platform::Error>& error,
                                                 QWidget* window) {
    if (!error) {
        return;
    }
    std::optional<platform::Error> shown = error;
    for (const auto& validator : validatorsByErrorDomain_.value(error->domain())) {
        shown = validator(*shown);
        if (!shown) {
            return;
        }
    }
    QPointer<QWidget> target = window;
    const bool withWindow = window != nullptr;
    platform::DispatchQueue::main()->async([weakSelf = weak_from_this(), error = *shown, target, withWindow] {
        auto self = weakSelf.lock();
        // A window that went away meanwhile takes its sheet with it.
        if (!self || (withWindow && !target)) {
            return;
        }
        self->present(error, target);
    });
}

void BRErrorPresentationController::present(const platform::Error& error, QWidget* window) {
    QMessageBox* alert = alertForError(error, window);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    const QString identifier = error.userInfo().value(BRErrorAccessibilityIdentifierKey).toString();
    alert->setObjectName(identifier);
    alert->setAccessibleName(identifier);
    if (flag(error.userInfo(), BRErrorDestructiveOptionsKey)) {
        // Return must not pick a destructive first option.
        alert->setDefaultButton(static_cast<QPushButton*>(nullptr));
        for (auto* button : alert->buttons()) {
            if (auto* push = qobject_cast<QPushButton*>(button)) {
                push->setAutoDefault(false);
            }
        }
    }
    if (!flag(error.userInfo(), BRErrorSuppressActivationKey) && window != nullptr) {
        window->activateWindow();
    }

    QPointer<QMessageBox> guardedAlert = alert;
    const auto attempt = recoveryAttemptInfo(error);
    if (attempt) {
        attempt->startRecoveryOfError(error, [guardedAlert](const auto&) {
            if (guardedAlert) {
                guardedAlert->done(FirstButtonReturn);
            }
        });
    }
    QPointer<QWidget> target = window;
    QObject::connect(alert, &QMessageBox::finished, alert,
                     [weakSelf = weak_from_this(), alert, error, attempt, target,
                      suppression = suppressionCompletion(error.userInfo())](int code) {
                         const int response = BRAlertResponse(alert, code);
                         // Told even when the presentation was withdrawn.
                         if (const QCheckBox* box = alert->checkBox(); box != nullptr && suppression) {
                             suppression->callWithState(box->checkState() == Qt::Checked ? 1 : 0);
                         }
                         if (!attempt || attempt->isCancelled()) {
                             return;
                         }
                         const auto next = attempt->finishRecoveryOfError(
                             error, std::size_t(std::max(0, response - FirstButtonReturn)));
                         if (auto self = weakSelf.lock(); self && next) {
                             self->presentError(next, target);
                         }
                     });
    if (window != nullptr) {
        alert->setWindowModality(Qt::WindowModal);
        alert->open();
    } else {
        alert->exec();
    }
}
