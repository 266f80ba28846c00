#pragma once

#include "platform/Error.h"
#include "platform/Pipe.h"
#include "platform/Task.h"
#include "platform/Tools.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>

#include <poll.h>
#include <unistd.h>

namespace testing_support {

// The indexer program, started for one test and stopped with SIGTERM.
class LaunchpadIndexerProcess {
public:
    // Answers the database path the indexer prints once it is ready, or an
    // empty string (with a failure) when it does not come up.
    QString start() {
        output_ = platform::Pipe::make();
        task_ = platform::Task::make();
        task_->setLaunchPath(platform::Tools::directory() + QStringLiteral("/launchpad"));
        task_->setStandardInput(platform::Task::Stream::NullDevice);
        task_->setStandardOutput(output_);
        platform::Error error(QString(), 0);
        if (!task_->launch(&error)) {
            ADD_FAILURE() << "launchpad: " << error.description().toStdString();
            return {};
        }
        output_->closeWriteEnd();
        QByteArray line;
        pollfd readable{output_->readDescriptor(), POLLIN, 0};
        char next = 0;
        while (!line.endsWith('\n') && ::poll(&readable, 1, 10000) > 0 &&
               ::read(output_->readDescriptor(), &next, 1) == 1) {
            line.append(next);
        }
        EXPECT_TRUE(line.endsWith('\n')) << "the indexer did not say it was ready";
        return QString::fromLocal8Bit(line.trimmed());
    }

    // Stops the indexer; true when it ended cleanly.
    bool stop() {
        task_->terminate();
        return task_->waitUntilExit(std::chrono::seconds(10)) && task_->terminationStatus() == 0;
    }

    ~LaunchpadIndexerProcess() {
        if (task_ && task_->isRunning()) {
            task_->terminate();
            task_->waitUntilExit(std::chrono::seconds(10));
        }
    }

private:
    std::shared_ptr<platform::Pipe> output_;
    std::shared_ptr<platform::Task> task_;
};

} // namespace testing_support
