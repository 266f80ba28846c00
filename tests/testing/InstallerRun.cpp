#include "InstallerRun.h"

#include "EnvironmentOverride.h"
#include "StoreProcess.h"
#include "platform/Pipe.h"
#include "platform/Task.h"
#include "platform/Tools.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

#include <poll.h>
#include <unistd.h>

namespace testing_support {

namespace {
constexpr auto kPatience = std::chrono::minutes(2);
} // namespace

InstallerRun::InstallerRun(const StoreProcess& store, const QStringList& arguments, Mode mode)
    : environment_(std::make_unique<EnvironmentOverride>(std::initializer_list<EnvironmentOverride::Entry>{
          {"KESTREL_DOWNLOAD_HOST", store.baseURL().toString().toLocal8Bit()},
          {"KESTREL_CA_BUNDLE", store.caBundlePath().toLocal8Bit()}})) {
    output_ = platform::Pipe::make();
    task_ = platform::Task::make();
    task_->setLaunchPath(platform::Tools::directory() + "/install-orbit-notes");
    task_->setArguments(mode == Mode::Terminal ? QStringList{"--no-window"} + arguments : arguments);
    task_->setStandardInput(platform::Task::Stream::NullDevice);
    task_->setStandardOutput(output_);
    // The installer's log joins the test's output, which is shown when a test fails.
    task_->setStandardError(platform::Task::Stream::Inherit);
    EXPECT_TRUE(task_->launch());
}

InstallerRun::~InstallerRun() {
    if (task_->isRunning()) {
        task_->terminate();
        task_->waitUntilExit(std::chrono::seconds(30));
    }
}

bool InstallerRun::waitForOutput(const QString& text) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
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

int InstallerRun::finish() {
    waitForOutput(QStringLiteral("\x01never printed"));
    if (!task_->waitUntilExit(kPatience)) {
        return -1;
    }
    return task_->terminationStatus();
}

void InstallerRun::interrupt() {
    ::kill(task_->processIdentifier(), SIGINT);
}

void InstallerRun::terminate() {
    ::kill(task_->processIdentifier(), SIGTERM);
}

} // namespace testing_support
