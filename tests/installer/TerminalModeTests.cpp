// The installer program in its terminal mode, run for real against the
// development store and the desktop client the build packs.

#include "platform/Paths.h"
#include "platform/Tools.h"
#include "testing/EnvironmentOverride.h"
#include "testing/InstallerRun.h"
#include "testing/StoreProcess.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFileInfo>

using testing_support::InstallerRun;
using testing_support::testRoot;

namespace {

// Every file in the root, the installer's and the store's logs aside.
QStringList filesOutsideTheLogs() {
    QStringList files;
    const QString logs = platform::Paths::resolve("~/Library/Logs");
    QDirIterator it(testRoot(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        if (!file.startsWith(logs + '/') && !QFileInfo(file).fileName().startsWith("kestrel-store-")) {
            files.append(file);
        }
    }
    return files;
}

} // namespace

TEST(TerminalModeTests, CtrlCDuringTheDownloadLeavesTheRootAsItWas) {
    // Before the transfer has begun, and while data is arriving.
    for (const QString& moment :
         {QStringLiteral("Installing Orbit Notes"), QStringLiteral("[1] downloading")}) {
        SCOPED_TRACE(moment.toStdString());
        auto store = testing_support::StoreProcess::start(KESTREL_CLIENT_STORE_FOLDER, {"--rate", "1024"});
        ASSERT_TRUE(store);
        InstallerRun run(*store, {"--retries", "3"});
        ASSERT_TRUE(run.waitForOutput(moment)) << run.output().toStdString();

        run.interrupt();

        EXPECT_EQ(run.finish(), 130) << run.output().toStdString();
        EXPECT_TRUE(run.output().contains("stopped."));
        EXPECT_TRUE(filesOutsideTheLogs().isEmpty()) << filesOutsideTheLogs().join("\n").toStdString();
    }
}

// The retry's first reports still carry the failed state: it is not shown
// again before the retry moves on.
TEST(TerminalModeTests, ARetryDoesNotShowTheFailedStateAgain) {
    auto store = testing_support::StoreProcess::start(KESTREL_CLIENT_STORE_FOLDER, {"--status", "500"});
    ASSERT_TRUE(store);
    InstallerRun run(*store, {"--retries", "1"});
    EXPECT_NE(run.finish(), 0);
    const QString output = run.output();
    const qsizetype retry = output.indexOf("retrying (1 of 1)");
    ASSERT_GT(retry, 0) << output.toStdString();
    const qsizetype movedOn = output.indexOf("[1] downloading", retry);
    ASSERT_GT(movedOn, retry) << output.toStdString();
    EXPECT_FALSE(output.mid(retry, movedOn - retry).contains("[2] ")) << output.toStdString();
    EXPECT_EQ(output.count("error: "), 2) << output.toStdString();
}

// Without a display the window cannot open: asking for help still works, and
// a run that wants the window says what to do instead of failing inside Qt.
TEST(TerminalModeTests, WithoutADisplayHelpWorksAndTheWindowSaysWhatToDo) {
    const testing_support::EnvironmentOverride headless(
        {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}, {"QT_QPA_PLATFORM", std::nullopt}});
    const QString installer = platform::Tools::directory() + "/install-orbit-notes";

    const auto help = testing_support::runProgram(installer, {"--help"});
    EXPECT_EQ(help.status, 0) << help.errors.toStdString();
    EXPECT_TRUE(help.output.contains("--no-window")) << help.output.toStdString();

    // After "--" nothing is an option, so this too wants the window.
    for (const QStringList& arguments : {QStringList{"--retries", "1"}, QStringList{"--", "--no-window"}}) {
        const auto windowed = testing_support::runProgram(installer, arguments);
        EXPECT_EQ(windowed.status, 2) << windowed.errors.toStdString();
        EXPECT_TRUE(windowed.errors.contains("run it with --no-window")) << windowed.errors.toStdString();
    }
}
