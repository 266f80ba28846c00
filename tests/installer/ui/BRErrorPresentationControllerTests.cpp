#include "UITestSupport.h"
#include "support/BRErrorPresentationController.h"
#include "support/BRErrorRecovery.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QWidget>

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
