// The installer program in its terminal mode, run for real against the
// development store and the desktop client the build packs.

#include "platform/Paths.h"
#include "platform/Pipe.h"
#include "platform/Task.h"
#include "platform/Tools.h"
#include "testing/EnvironmentOverride.h"
#include "testing/StoreProcess.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFileInfo>

#include <csignal>

#include <poll.h>
#include <unistd.h>

using testing_support::testRoot;

namespace {

// The installer running with its standard output collected as it comes.
class InstallerRun {
public:
    InstallerRun(const testing_support::StoreProcess& store, const QStringList& arguments)
        : environment_({{"KESTREL_DOWNLOAD_HOST", store.baseURL().toString().toLocal8Bit()},
                        {"KESTREL_CA_BUNDLE", store.caBundlePath().toLocal8Bit()}}) {
        output_ = platform::Pipe::make();
        task_ = platform::Task::make();
        task_->setLaunchPath(platform::Tools::directory() + "/install-orbit-notes");
        task_->setArguments(QStringList{"--no-window"} + arguments);
        task_->setStandardInput(platform::Task::Stream::NullDevice);
        task_->setStandardOutput(output_);
        task_->setStandardError(platform::Task::Stream::NullDevice);
        EXPECT_TRUE(task_->launch());
    }
    ~InstallerRun() {
        if (task_->isRunning()) {
            task_->terminate();
            task_->waitUntilExit(std::chrono::seconds(30));
        }
    }

    // Reads what arrived until the text appears, the program ends or a minute passes.
    bool waitForOutput(const QString& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!text_.contains(text) && std::chrono::steady_clock::now() < deadline) {
            pollfd fd{output_->readDescriptor(), POLLIN, 0};
            if (::poll(&fd, 1, 1000) > 0) {
                char buffer[4096];
                const ssize_t n = ::read(fd.fd, buffer, sizeof buffer);
                if (n <= 0) {
                    break;
                }
                text_ += QString::fromUtf8(buffer, n);
            }
        }
        return text_.contains(text);
    }
    // The exit status, once the program ended.
    int finish() {
        waitForOutput(QStringLiteral("\x01never printed"));
        if (!task_->waitUntilExit(std::chrono::minutes(1))) {
            return -1;
        }
        return task_->terminationStatus();
    }
    void interrupt() { ::kill(task_->processIdentifier(), SIGINT); }
    const QString& output() const { return text_; }

private:
    const testing_support::EnvironmentOverride environment_;
    std::shared_ptr<platform::Pipe> output_;
    std::shared_ptr<platform::Task> task_;
    QString text_;
};

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

TEST(TerminalModeTests, TheRunGetsThroughDroppedConnectionsToTheServicesAndSaysWhyItStops) {
    auto store =
        testing_support::StoreProcess::start(KESTREL_CLIENT_STORE_FOLDER, {"--drop-after", "4096,0,0"});
    ASSERT_TRUE(store);
    InstallerRun run(*store, {});

    EXPECT_EQ(run.finish(), 1) << run.output().toStdString();
    EXPECT_TRUE(run.output().contains("[5] services failed")) << run.output().toStdString();
    // Nobody serves the management services yet: the bus answers that
    // nobody owns their name, so the reporting stream cannot be set up.
    EXPECT_TRUE(run.output().contains("Did fail to establish reporting stream"))
        << run.output().toStdString();
    EXPECT_TRUE(run.output().contains("-401052"));
    EXPECT_TRUE(run.output().contains("stopped."));
    // The services were never reached, so the placed client stays.
    EXPECT_TRUE(QFileInfo(platform::Paths::resolve("/Applications/Kestrel.app/Contents/MacOS/Kestrel"))
                    .isExecutable());
    EXPECT_EQ(store->log().count("GET /com.kestrel.DesktopClient/Kestrel.zip"), 4)
        << store->log().toStdString();
}

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
