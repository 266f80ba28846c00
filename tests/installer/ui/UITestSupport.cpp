#include "UITestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>

namespace testing_support {

namespace {

// The widgets need one application for the whole program, made before the
// first case runs.
class ApplicationEnvironment : public testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "installer_ui_tests";
        static char* argv[] = {name, nullptr};
        application_ = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override {
        delete application_;
        application_ = nullptr;
    }

private:
    QApplication* application_ = nullptr;
};

[[maybe_unused]] const auto* environment = testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

} // namespace

bool waitForUI(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    // A ticking timer wakes the event loop, so conditions other threads
    // change are seen without a sleep.
    QTimer tick;
    tick.start(5);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return condition();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void saveScreenshot(QWidget* window, const QString& name) {
    QString folder = qEnvironmentVariable("KESTREL_UI_SCREENSHOTS");
    if (folder.isEmpty()) {
        folder = QStringLiteral(KESTREL_UI_SCREENSHOT_FOLDER);
    }
    QDir().mkpath(folder);
    QPixmap picture = window->grab();
    QPainter painter(&picture);
    // Alerts are windows of their own: drawn over the window, centred at its
    // top as sheets are.
    for (auto* alert : window->findChildren<QMessageBox*>()) {
        if (alert->isVisible()) {
            const QPixmap sheet = alert->grab();
            const QSize size = sheet.deviceIndependentSize().toSize();
            painter.fillRect(QRect(QPoint(0, 0), window->size()), QColor(0, 0, 0, 60));
            const QPoint at((window->width() - size.width()) / 2, 40);
            painter.fillRect(QRect(at, size).adjusted(-1, -1, 1, 1), QColor(0, 0, 0, 90));
            painter.drawPixmap(at, sheet);
        }
    }
    painter.end();
    EXPECT_TRUE(picture.save(folder + QLatin1Char('/') + name + QStringLiteral(".png")));
}

} // namespace testing_support
