#include "PlatformPrinters.h"
#include "platform/DispatchSemaphore.h"
#include "platform/Pipe.h"
#include "platform/Task.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>

#include <cerrno>
#include <csignal>
#include <thread>

using namespace platform;
using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {

constexpr auto kWait = 20s;

std::shared_ptr<Task> shell(const QString& script, const QStringList& arguments = {}) {
    auto task = Task::make();
    task->setLaunchPath(u"/bin/sh"_s);
    task->setArguments(QStringList{u"-c"_s, script} + arguments);
    return task;
}

} // namespace

TEST(TaskTests, RunsAProgramWithArgumentsEnvironmentAndDirectoryAndCollectsItsOutput) {
    auto task = shell(u"printf '%s|' \"$0\" \"$1\" \"$GREETING\"; pwd -P; echo oops >&2; exit 3"_s,
                      {u"first argument"_s, u"zweites Ärgument"_s});
    task->setEnvironment({{u"GREETING"_s, u"hi there"_s}});
    task->setCurrentDirectoryPath(testing_support::testRoot());
    auto output = Pipe::make(), errors = Pipe::make();
    task->setStandardOutput(output);
    task->setStandardError(errors);
    Error error(QString(), 0);
    ASSERT_TRUE(task->launch(&error)) << error.description().toStdString();
    EXPECT_GT(task->processIdentifier(), 0);

    EXPECT_EQ(QString::fromUtf8(output->readDataToEndOfFile()),
              u"first argument|zweites Ärgument|hi there|"_s +
                  QDir(testing_support::testRoot()).canonicalPath() + u'\n');
    EXPECT_EQ(errors->readDataToEndOfFile(), QByteArray("oops\n"));
    ASSERT_TRUE(task->waitUntilExit(kWait));
    EXPECT_FALSE(task->isRunning());
    EXPECT_EQ(task->terminationReason(), Task::TerminationReason::Exit);
    EXPECT_EQ(task->terminationStatus(), 3);
    EXPECT_FALSE(task->launch(&error)) << "a task runs once";
}

TEST(TaskTests, StandardInputFromAPipeReachesTheChild) {
    auto task = Task::make();
    task->setLaunchPath(u"/bin/cat"_s);
    auto input = Pipe::make(), output = Pipe::make();
    task->setStandardInput(input);
    task->setStandardOutput(output);
    ASSERT_TRUE(task->launch());

    // More than a pipe buffer holds, so writing and reading must overlap.
    QByteArray data;
    for (int i = 0; data.size() < 300000; ++i) {
        data += "line " + QByteArray::number(i) + '\n';
    }
    bool written = false;
    std::thread writer([&] {
        written = input->writeData(data);
        input->closeWriteEnd();
    });
    const QByteArray echoed = output->readDataToEndOfFile();
    writer.join();
    EXPECT_TRUE(written);
    EXPECT_EQ(echoed.size(), data.size());
    EXPECT_TRUE(echoed == data); // not EXPECT_EQ: a mismatch would print 300 kB
    ASSERT_TRUE(task->waitUntilExit(kWait));
    EXPECT_EQ(task->terminationStatus(), 0);
}

TEST(TaskTests, DeathBySignalIsReportedAsSuch) {
    auto task = shell(u"kill -KILL $$"_s);
    task->setStandardError(Task::Stream::NullDevice);
    ASSERT_TRUE(task->launch());
    ASSERT_TRUE(task->waitUntilExit(kWait));
    EXPECT_EQ(task->terminationReason(), Task::TerminationReason::UncaughtSignal);
    EXPECT_EQ(task->terminationStatus(), SIGKILL);
}

TEST(TaskTests, WaitingIsBoundedAndTerminateEndsTheChild) {
    auto task = shell(u"exec sleep 5"_s);
    auto ended = DispatchSemaphore::make(0);
    bool runningInHandler = true;
    int statusInHandler = -1;
    task->setTerminationHandler([&](Task& finished) {
        runningInHandler = finished.isRunning();
        statusInHandler = finished.terminationStatus();
        ended->signal();
    });
    ASSERT_TRUE(task->launch());
    EXPECT_FALSE(task->waitUntilExit(50ms));
    EXPECT_TRUE(task->isRunning());

    task->terminate();
    ASSERT_TRUE(task->waitUntilExit(kWait));
    ASSERT_TRUE(ended->wait(kWait));
    EXPECT_EQ(task->terminationReason(), Task::TerminationReason::UncaughtSignal);
    EXPECT_EQ(task->terminationStatus(), SIGTERM);
    EXPECT_FALSE(runningInHandler);
    EXPECT_EQ(statusInHandler, SIGTERM);
}

TEST(TaskTests, LaunchFailuresAreErrorsNotCrashes) {
    const QString missing = testing_support::testRoot() + u"/no-such-program"_s;
    auto task = Task::make();
    task->setLaunchPath(missing);
    Error error(QString(), 0);
    EXPECT_FALSE(task->launch(&error));
    EXPECT_EQ(error.domain(), NSPOSIXErrorDomain);
    EXPECT_EQ(error.code(), ENOENT);
    EXPECT_TRUE(error.localizedDescription().contains(missing)) << error.localizedDescription().toStdString();
    EXPECT_FALSE(task->isRunning());
    EXPECT_TRUE(task->waitUntilExit(0ms)) << "nothing to wait for";

    const QString notExecutable = testing_support::testRoot() + u"/script.txt"_s;
    ASSERT_TRUE(testing_support::writeFile(notExecutable, "echo hi\n"));
    EXPECT_EQ(Task::launchedTask(notExecutable, {}, &error), nullptr);
    EXPECT_EQ(error.code(), EACCES);
}
