#pragma once

#include "platform/Error.h"

#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QMessageBox;
class QWidget;

// User-info keys that steer an error's alert.
inline const QString BRErrorDestructiveOptionsKey = QStringLiteral("BRErrorDestructiveOptions");
inline const QString BRErrorSuppressActivationKey = QStringLiteral("BRErrorSuppressActivation");
// The icon as image data (PNG, SVG, …).
inline const QString BRErrorAlertIconKey = QStringLiteral("BRErrorAlertIcon");
// 0 warning, 1 informational, 2 critical.
inline const QString BRErrorAlertStyleKey = QStringLiteral("BRErrorAlertStyle");
inline const QString BRErrorSuppressionButtonInfoKey = QStringLiteral("BRErrorSuppressionButtonInfo");
inline const QString BRErrorSuppressionButtonInfoShouldShowKey =
    QStringLiteral("BRErrorSuppressionButtonInfoShouldShow");
inline const QString BRErrorSuppressionButtonInfoTitleKey =
    QStringLiteral("BRErrorSuppressionButtonInfoTitle");
inline const QString BRErrorSuppressionButtonInfoInitialStateKey =
    QStringLiteral("BRErrorSuppressionButtonInfoInitialState");
// A BRErrorSuppressionCompletion, told the check box's state once the alert closes.
inline const QString BRErrorSuppressionButtonInfoCompletionKey =
    QStringLiteral("BRErrorSuppressionButtonInfoCompletion");

// The property that numbers an alert's buttons in the order they were added.
inline constexpr char BRAlertButtonIndexProperty[] = "BRAlertButtonIndex";
// An alert's answer: 1000 + the clicked button's number, else `code` (the
// code the alert was ended with).
int BRAlertResponse(const QMessageBox* alert, int code);

// Shows errors as alerts, as a sheet on a window or application-modal, and
// hands the user's choice to the error's recovery attempt. Validators
// registered for a domain may replace or swallow an error first.
// Presentation happens on the main queue; validators run on the caller's
// thread.
class BRErrorPresentationController : public std::enable_shared_from_this<BRErrorPresentationController> {
public:
    // Answers the error to show instead, or none to show nothing.
    using Validator = std::function<std::optional<platform::Error>(const platform::Error& error)>;

    // Answers of an alert: the first button is 1000, the next 1001, …
    static constexpr int FirstButtonReturn = 1000;

    static std::shared_ptr<BRErrorPresentationController> make();

    // `window` null: an application-modal alert.
    void presentError(const std::optional<platform::Error>& error, QWidget* window);
    void addValidatorForErrorDomain(Validator validator, const QString& domain);
    // The configured alert, not shown; the caller owns it.
    static QMessageBox* alertForError(const platform::Error& error, QWidget* parent = nullptr);

private:
    BRErrorPresentationController() = default;
    void present(const platform::Error& error, QWidget* window);

    // Touched on the thread that registers and presents.
    QHash<QString, QList<Validator>> validatorsByErrorDomain_;
};
