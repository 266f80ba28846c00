#include "StoreProcess.h"

#include "TestSupport.h"
#include "platform/Pipe.h"
#include "platform/Task.h"
#include "platform/Tools.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace testing_support {

namespace {

constexpr auto startTimeout = std::chrono::seconds(10);
// Long enough for the sanitizers' leak check at exit.
constexpr auto stopTimeout = std::chrono::seconds(20);

// "NAME=value" lines as the store prints them: the value is one shell word,
// single-quoted when it has to be.
QString unquote(const QByteArray& value) {
    if (value.size() >= 2 && value.startsWith('\'') && value.endsWith('\'')) {
        QByteArray inner = value.mid(1, value.size() - 2);
        inner.replace("'\\''", "'");
        return QString::fromLocal8Bit(inner);
    }
    return QString::fromLocal8Bit(value);
}

QString describe(const platform::Task& task) {
    return task.terminationReason() == platform::Task::TerminationReason::UncaughtSignal
               ? QStringLiteral("killed by signal %1").arg(task.terminationStatus())
               : QStringLiteral("exit status %1").arg(task.terminationStatus());
}

} // namespace

struct StoreProcess::Process {
    std::shared_ptr<platform::Task> task;
    std::shared_ptr<platform::Pipe> output;
    std::shared_ptr<platform::Pipe> errors;
    // Copies the store's standard error into the log file as it comes, so
    // the store never blocks on a full pipe and the log survives it.
    std::thread logCopier;
    QString logPath;

    // Ends the store (politely first) and answers how it ended, or an empty
    // string when it ended cleanly on our request.
    QString stop() {
        task->terminate();
        QString trouble;
        if (!task->waitUntilExit(stopTimeout)) {
            trouble = QStringLiteral("did not stop within %1 s of SIGTERM").arg(stopTimeout.count());
            // Still running a moment ago and not yet collected, so the identifier is the store's.
            ::kill(task->processIdentifier(), SIGKILL);
            task->waitUntilExit();
        } else if (task->terminationReason() != platform::Task::TerminationReason::Exit ||
                   task->terminationStatus() != 0) {
            trouble = describe(*task);
        }
        if (logCopier.joinable()) {
            logCopier.join();
        }
        return trouble;
    }
};

std::unique_ptr<StoreProcess> StoreProcess::start(const QString& servedFolder, const QStringList& arguments) {
    static std::atomic<int> counter{0};
    auto process = std::make_unique<Process>();
    const QString folder = testRoot().isEmpty() ? QDir::tempPath() : testRoot();
    process->logPath =
        QStringLiteral("%1/kestrel-store-%2-%3.log").arg(folder).arg(::getpid()).arg(counter.fetch_add(1));

    platform::Error error(QString(), 0);
    process->output = platform::Pipe::make(&error);
    process->errors = platform::Pipe::make(&error);
    if (!process->output || !process->errors) {
        ADD_FAILURE() << "kestrel-store: " << error.description().toStdString();
        return nullptr;
    }
    const int logDescriptor = ::open(QFile::encodeName(process->logPath).constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (logDescriptor < 0) {
        ADD_FAILURE() << "kestrel-store: cannot write its log to " << process->logPath.toStdString();
        return nullptr;
    }

    process->task = platform::Task::make();
    process->task->setLaunchPath(platform::Tools::directory() + QStringLiteral("/kestrel-store"));
    // A test killed before it could stop its store leaves none behind.
    process->task->setArguments(QStringList{QStringLiteral("--root"), servedFolder,
                                            QStringLiteral("--parent-pid"), QString::number(::getpid())} +
                                arguments);
    process->task->setStandardInput(platform::Task::Stream::NullDevice);
    process->task->setStandardOutput(process->output);
    process->task->setStandardError(process->errors);
    if (!process->task->launch(&error)) {
        ::close(logDescriptor);
        ADD_FAILURE() << "kestrel-store: " << error.description().toStdString();
        return nullptr;
    }
    process->logCopier = std::thread([source = process->errors->readDescriptor(), logDescriptor] {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(source, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            for (ssize_t written = 0; written < n;) {
                const ssize_t w = ::write(logDescriptor, buffer + written, size_t(n - written));
                if (w < 0 && errno != EINTR) {
                    break;
                }
                written += w > 0 ? w : 0;
            }
        }
        ::close(logDescriptor);
    });

    std::unique_ptr<StoreProcess> store(new StoreProcess);
    store->process_ = std::move(process);
    Process& running = *store->process_;

    QByteArray output;
    QString url;
    QString bundle;
    QString failure;
    const auto deadline = std::chrono::steady_clock::now() + startTimeout;
    while (url.isEmpty() || bundle.isEmpty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            failure = QStringLiteral("did not announce itself within %1 s").arg(startTimeout.count());
            break;
        }
        pollfd watched{running.output->readDescriptor(), POLLIN, 0};
        const int ready = ::poll(&watched, 1, int(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            continue;
        }
        char buffer[1024];
        const ssize_t n = ::read(running.output->readDescriptor(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            running.task->waitUntilExit(startTimeout);
            failure = QStringLiteral("ended before announcing itself (%1)").arg(describe(*running.task));
            break;
        }
        output.append(buffer, n);
        qsizetype end;
        while ((end = output.indexOf('\n')) >= 0) {
            const QByteArray line = output.left(end);
            output.remove(0, end + 1);
            if (line.startsWith("KESTREL_STORE_URL=")) {
                url = unquote(line.mid(18));
            } else if (line.startsWith("KESTREL_CA_BUNDLE=")) {
                bundle = unquote(line.mid(18));
            }
        }
    }
    if (failure.isEmpty() && !QUrl(url).isValid()) {
        failure = QStringLiteral("announced an unusable address \"%1\"").arg(url);
    }
    if (!failure.isEmpty()) {
        // Stopped here rather than by the destructor, which would report the
        // ending as a failure of its own.
        running.stop();
        ADD_FAILURE() << "kestrel-store " << failure.toStdString() << "\n" << store->log().toStdString();
        store->process_.reset();
        return nullptr;
    }
    store->baseURL_ = QUrl(url);
    store->caBundlePath_ = bundle;
    return store;
}

StoreProcess::~StoreProcess() {
    if (!process_) {
        return;
    }
    const QString trouble = process_->stop();
    if (!trouble.isEmpty()) {
        ADD_FAILURE() << "kestrel-store did not end cleanly: " << trouble.toStdString() << "\n"
                      << log().toStdString();
    }
}

QString StoreProcess::log() const {
    return process_ ? QString::fromLocal8Bit(readFile(process_->logPath)) : QString();
}

} // namespace testing_support
