#include "UITestSupport.h"
#include "support/BRErrorPresentationController.h"
#include "support/BRErrorRecovery.h"
#include "support/BRErrorSuppressionCompletion.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QMessageBox>
#include <QWidget>

#include <vector>

using testing_support::waitForUI;

namespace {

QMessageBox* shownAlert(QWidget& window) {
    for (auto* alert : window.findChildren<QMessageBox*>()) {
        if (alert->isVisible()) {
            return alert;
        }
    }
    return nullptr;
}

QAbstractButton* buttonTitled(QMessageBox* alert, const QString& title) {
    for (auto* button : alert->buttons()) {
        if (button->text() == title) {
            return button;
        }
    }
    return nullptr;
}

platform::Error errorWithTwoOptions(std::optional<std::size_t>& chosen) {
    return errorWithDomain(
        QStringLiteral("com.kestrel.test"), 3, QStringLiteral("Disk full"),
        QStringLiteral("Free some space."), {QStringLiteral("Retry"), QStringLiteral("Quit")},
        {{BRErrorAccessibilityIdentifierKey, QStringLiteral("test.alert")}},
        [&chosen](const platform::Error&, std::size_t option) -> std::optional<platform::Error> {
            chosen = option;
            return std::nullopt;
        });
}

TEST(BRErrorPresentationControllerTests, TheChosenButtonDrivesTheRecoveryAttempt) {
    QWidget window;
    window.show();
    auto controller = BRErrorPresentationController::make();
    std::optional<std::size_t> chosen;
    controller->presentError(errorWithTwoOptions(chosen), &window);
    ASSERT_TRUE(waitForUI([&] { return shownAlert(window) != nullptr; }));
    QMessageBox* alert = shownAlert(window);
    EXPECT_EQ(alert->objectName(), "test.alert");
    EXPECT_EQ(alert->text(), "Disk full");
    EXPECT_EQ(alert->informativeText(), "Free some space.");
    buttonTitled(alert, QStringLiteral("Quit"))->click();
    ASSERT_TRUE(waitForUI([&] { return chosen.has_value(); }));
    EXPECT_EQ(*chosen, 1u) << "the second button is option 1, whatever order the box lays them out in";
}

platform::Error errorWithSuppression(bool shouldShow, std::int64_t initialState,
                                     std::vector<std::int64_t>& states) {
    const platform::Value::Dictionary settings{
        {BRErrorSuppressionButtonInfoShouldShowKey, shouldShow},
        {BRErrorSuppressionButtonInfoTitleKey, QStringLiteral("Do not ask again")},
        {BRErrorSuppressionButtonInfoInitialStateKey, initialState},
        {BRErrorSuppressionButtonInfoCompletionKey,
         BRErrorSuppressionCompletion::make([&states](std::int64_t state) { states.push_back(state); })}};
    return errorWithDomain(QStringLiteral("com.kestrel.test"), 4, QStringLiteral("Update available"),
                           QString(), QStringLiteral("OK"), {{BRErrorSuppressionButtonInfoKey, settings}});
}

TEST(BRErrorPresentationControllerTests, TheSuppressionBlockIsToldTheCheckBoxStateOnceTheAlertCloses) {
    QWidget window;
    window.show();
    auto controller = BRErrorPresentationController::make();
    for (const auto& [initialState, toldState] : {std::pair<std::int64_t, std::int64_t>{0, 1}, {1, 0}}) {
        SCOPED_TRACE(initialState);
        std::vector<std::int64_t> states;
        controller->presentError(errorWithSuppression(true, initialState, states), &window);
        ASSERT_TRUE(waitForUI([&] { return shownAlert(window) != nullptr; }));
        QMessageBox* alert = shownAlert(window);
        ASSERT_NE(alert->checkBox(), nullptr);
        EXPECT_EQ(alert->checkBox()->text(), "Do not ask again");
        alert->checkBox()->click();
        EXPECT_TRUE(states.empty()) << "the block waits for the alert to close";
        buttonTitled(alert, QStringLiteral("OK"))->click();
        ASSERT_TRUE(waitForUI([&] { return shownAlert(window) == nullptr; }));
        EXPECT_EQ(states, std::vector<std::int64_t>{toldState});
    }

    std::vector<std::int64_t> states;
    controller->presentError(errorWithSuppression(false, 1, states), &window);
    ASSERT_TRUE(waitForUI([&] { return shownAlert(window) != nullptr; }));
    EXPECT_EQ(shownAlert(window)->checkBox(), nullptr);
    buttonTitled(shownAlert(window), QStringLiteral("OK"))->click();
    ASSERT_TRUE(waitForUI([&] { return shownAlert(window) == nullptr; }));
    EXPECT_TRUE(states.empty()) << "no check box shown, no block called";
}

TEST(BRErrorPresentationControllerTests, AWithdrawnPresentationClosesWithoutRecovering) {
    QWidget window;
    window.show();
    auto controller = BRErrorPresentationController::make();
    std::optional<std::size_t> chosen;
    const auto error = errorWithTwoOptions(chosen);
    controller->presentError(error, &window);
    ASSERT_TRUE(waitForUI([&] { return shownAlert(window) != nullptr; }));
    noNeedForRecovery(error);
    EXPECT_TRUE(waitForUI([&] { return shownAlert(window) == nullptr; }));
    EXPECT_FALSE(chosen) << "a withdrawn alert runs no recovery option";
}

TEST(BRErrorPresentationControllerTests, ValidatorsReplaceOrSwallowErrors) {
    QWidget window;
    window.show();
    auto controller = BRErrorPresentationController::make();
    int validated = 0;
    controller->addValidatorForErrorDomain(
        [&](const platform::Error& error) -> std::optional<platform::Error> {
            ++validated;
            if (error.code() == 1) {
                return std::nullopt;
            }
            return platform::Error(error.domain(), 2,
                                   {{platform::NSLocalizedDescriptionKey, QStringLiteral("Other")}});
        },
        QStringLiteral("com.kestrel.test"));
    controller->presentError(platform::Error(QStringLiteral("com.kestrel.test"), 1), &window);
    controller->presentError(platform::Error(QStringLiteral("com.kestrel.test"), 5), &window);
    ASSERT_TRUE(waitForUI([&] { return shownAlert(window) != nullptr; }));
    EXPECT_EQ(validated, 2);
    EXPECT_EQ(shownAlert(window)->text(), "Other");
    EXPECT_EQ(window.findChildren<QMessageBox*>().size(), 1) << "the swallowed error showed nothing";
}

} // namespace
