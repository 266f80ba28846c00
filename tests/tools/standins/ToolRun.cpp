#include "ToolRun.h"

#include "platform/Pipe.h"
#include "platform/Task.h"
#include "platform/Tools.h"

#include <gtest/gtest.h>

#include <QStandardPaths>

#include <thread>

namespace testing_support {

namespace {
constexpr qsizetype kChunkSize = 256 * 1024;
}

ToolRun ToolRun::run(const QString& program, const QStringList& arguments,
                     const std::optional<QByteArray>& input) {
    ToolRun result;
    auto output = platform::Pipe::make();
    auto errors = platform::Pipe::make();
    auto feed = input ? platform::Pipe::make() : nullptr;
    auto task = platform::Task::make();
    task->setLaunchPath(program);
    task->setArguments(arguments);
    if (feed) {
        task->setStandardInput(feed);
    } else {
        task->setStandardInput(platform::Task::Stream::NullDevice);
    }
    task->setStandardOutput(output);
    task->setStandardError(errors);
    platform::Error error(QString(), 0);
    if (!task->launch(&error)) {
        ADD_FAILURE() << "could not run " << program.toStdString() << ": "
                      << error.description().toStdString();
        return result;
    }
    std::thread writer;
    if (feed) {
        writer = std::thread([feed, data = *input] {
            for (qsizetype offset = 0; offset < data.size(); offset += kChunkSize) {
                if (!feed->writeData(data.mid(offset, kChunkSize))) {
                    break; // the program stopped reading; its status tells why
                }
            }
            feed->closeWriteEnd();
        });
    }
    std::thread reader([&result, output] { result.output = output->readDataToEndOfFile(); });
    result.errors = errors->readDataToEndOfFile();
    reader.join();
    if (writer.joinable()) {
        writer.join();
    }
    if (!task->waitUntilExit(std::chrono::minutes(1))) {
        task->terminate();
        task->waitUntilExit();
        ADD_FAILURE() << program.toStdString() << " did not finish";
    }
    if (task->terminationReason() == platform::Task::TerminationReason::Exit) {
        result.status = task->terminationStatus();
    }
    return result;
}

QString ToolRun::standIn(const QString& name) {
    return platform::Tools::path(QStringLiteral("/usr/bin/") + name);
}

QString ToolRun::program(const QString& name) {
    const QString path = QStandardPaths::findExecutable(name);
    EXPECT_FALSE(path.isEmpty()) << name.toStdString() << " is not on PATH";
    return path;
}

} // namespace testing_support
