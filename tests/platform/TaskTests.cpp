#include "PlatformPrinters.h"
#include "platform/DispatchSemaphore.h"
#include "platform/Pipe.h"
#include "platform/ProcessEnvironment.h"
#include "platform/Task.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <thread>

#include <pthread.h>

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

    // A pipe whose end went to an earlier child cannot be the next one's
    // output: the child would write to ours instead.
    auto output = Pipe::make();
    ASSERT_TRUE(output);
    output->closeWriteEnd();
    auto second = Task::make();
    second->setLaunchPath(u"/bin/echo"_s);
    second->setArguments({u"lost"_s});
    second->setStandardOutput(output);
    EXPECT_FALSE(second->launch(&error));
    EXPECT_EQ(error.code(), EBADF);
    EXPECT_FALSE(second->isRunning());
}

// Blocked signals pass to a child through the launching thread's mask and
// ignored ones through exec; neither may reach a tool we start.
TEST(TaskTests, TheChildStartsWithNoSignalBlockedOrIgnored) {
    sigset_t blocked, previousMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR1);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &blocked, &previousMask), 0);
    struct sigaction ignore {
    }, previousAction{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGUSR2, &ignore, &previousAction), 0);

    auto task = Task::make();
    task->setLaunchPath(u"/bin/cat"_s);
    task->setArguments({u"/proc/self/status"_s});
    auto output = Pipe::make();
    task->setStandardOutput(output);
    const bool launched = task->launch();
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    sigaction(SIGUSR2, &previousAction, nullptr);
    ASSERT_TRUE(launched);

    QMap<QByteArray, QByteArray> fields;
    for (const QByteArray& line : output->readDataToEndOfFile().split('\n')) {
        if (const qsizetype colon = line.indexOf(':'); colon > 0) {
            fields.insert(line.left(colon), line.mid(colon + 1).trimmed());
        }
    }
    ASSERT_TRUE(task->waitUntilExit(kWait));
    // The C library keeps the signals between the classic ones and SIGRTMIN
    // for itself and leaves them ignored in every child it spawns.
    quint64 reserved = 0;
    for (int signal = 32; signal < SIGRTMIN; ++signal) {
        reserved |= quint64(1) << (signal - 1);
    }
    bool parsed = false;
    EXPECT_EQ(fields.value("SigBlk").toULongLong(&parsed, 16), 0u);
    EXPECT_TRUE(parsed);
    EXPECT_EQ(fields.value("SigIgn").toULongLong(&parsed, 16) & ~reserved, 0u)
        << fields.value("SigIgn").constData();
    EXPECT_TRUE(parsed);
}

TEST(TaskTests, StringsThatCannotReachTheChildWholeAreRefused) {
    const QString withNul = u"a"_s + QChar(u'\0') + u"b"_s;
    const auto refused = [](const std::shared_ptr<Task>& task) {
        Error error(QString(), 0);
        const bool launched = task->launch(&error);
        EXPECT_FALSE(task->isRunning());
        return !launched && error.domain() == NSPOSIXErrorDomain && error.code() == EINVAL;
    };
    EXPECT_TRUE(refused(shell(u"exit 0"_s, {u"fine"_s, withNul})));
    auto badPath = Task::make();
    badPath->setLaunchPath(u"/bin/true"_s + QChar(u'\0'));
    EXPECT_TRUE(refused(badPath));
    for (const auto& [name, value] : std::initializer_list<std::pair<QString, QString>>{
             {u"VALUE"_s, withNul}, {withNul, u"v"_s}, {u"A=B"_s, u"v"_s}, {QString(), u"v"_s}}) {
        auto task = shell(u"exit 0"_s);
        task->setEnvironment({{name, value}});
        EXPECT_TRUE(refused(task)) << name.toStdString();
    }
    auto fine = shell(u"exit 0"_s, {u"fine"_s});
    fine->setEnvironment({{u"VALUE"_s, u"x=y"_s}});
    ASSERT_TRUE(fine->launch());
    ASSERT_TRUE(fine->waitUntilExit(kWait));
    EXPECT_EQ(fine->terminationStatus(), 0);
}

// Adding variables moves the environment's table; a launch that copied it
// meanwhile without the lock would read freed memory (the sanitizers watch).
TEST(TaskTests, LaunchesCopyTheEnvironmentWhileAnotherThreadChangesIt) {
    ProcessEnvironment::setValue("KESTREL_TASK_MARKER", QByteArray("steady"));
    constexpr int kVariables = 3000;
    std::atomic<bool> stop = false;
    std::thread changer([&] {
        for (int i = 0; i < kVariables && !stop; ++i) {
            ProcessEnvironment::setValue(("KESTREL_TASK_CHURN_" + QByteArray::number(i)).constData(),
                                         QByteArray::number(i));
        }
    });
    int seen = 0;
    for (int i = 0; i < 20; ++i) {
        auto task = shell(u"printf %s \"$KESTREL_TASK_MARKER\""_s);
        auto output = Pipe::make();
        task->setStandardOutput(output);
        // No early return: the changer must be joined and its variables removed.
        if (!task->launch()) {
            ADD_FAILURE() << "launch " << i << " failed";
            break;
        }
        seen += output->readDataToEndOfFile() == "steady" ? 1 : 0;
        EXPECT_TRUE(task->waitUntilExit(kWait));
    }
    stop = true;
    changer.join();
    for (int i = 0; i < kVariables; ++i) {
        ProcessEnvironment::setValue(("KESTREL_TASK_CHURN_" + QByteArray::number(i)).constData(),
                                     std::nullopt);
    }
    ProcessEnvironment::setValue("KESTREL_TASK_MARKER", std::nullopt);
    EXPECT_EQ(seen, 20);
    const QList<QByteArray> left = ProcessEnvironment::snapshot();
    EXPECT_FALSE(std::any_of(left.cbegin(), left.cend(),
                             [](const QByteArray& entry) { return entry.startsWith("KESTREL_TASK_"); }));
}
