#include "Task.h"

#include "Pipe.h"
#include "ProcessEnvironment.h"
#include "ScopedBlockingCall.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

namespace {

class CStrings {
public:
    explicit CStrings(const QList<QByteArray>& strings) : storage_(strings) {
        for (const QByteArray& s : storage_) {
            pointers_.push_back(const_cast<char*>(s.constData()));
        }
        pointers_.push_back(nullptr);
    }
    char** data() { return pointers_.data(); }

private:
    QList<QByteArray> storage_;
    std::vector<char*> pointers_;
};

} // namespace

std::shared_ptr<Task> Task::make() {
    return std::shared_ptr<Task>(new Task);
}

std::shared_ptr<Task> Task::launchedTask(const QString& launchPath, const QStringList& arguments,
                                         Error* error) {
    auto task = make();
    task->setLaunchPath(launchPath);
    task->setArguments(arguments);
    return task->launch(error) ? task : nullptr;
}

Task::~Task() = default;

void Task::setTerminationHandler(std::function<void(Task&)> handler) {
    std::lock_guard lock(mutex_);
    terminationHandler_ = std::move(handler);
}

bool Task::launch(Error* error) {
    {
        std::lock_guard lock(mutex_);
        if (launched_) {
            if (error) {
                *error = Error::posix(EALREADY, QStringLiteral("The task was already launched"));
            }
            return false;
        }
    }
    // The system passes C strings: a NUL would cut a string short without a
    // word, and a "=" in a name would move the split between name and value.
    const auto refuse = [&](const QString& what) {
        if (error) {
            *error =
                Error::posix(EINVAL, QStringLiteral("Could not launch \"%1\": %2").arg(launchPath_, what));
        }
        return false;
    };
    const QChar nul(u'\0');
    if (launchPath_.contains(nul)) {
        return refuse(QStringLiteral("the path contains a NUL character"));
    }
    const QByteArray path = QFile::encodeName(launchPath_);
    QList<QByteArray> argv{path};
    for (const QString& argument : arguments_) {
        if (argument.contains(nul)) {
            return refuse(QStringLiteral("an argument contains a NUL character"));
        }
        argv << argument.toLocal8Bit();
    }
    QList<QByteArray> envp;
    if (environment_) {
        for (auto it = environment_->cbegin(); it != environment_->cend(); ++it) {
            if (it.key().isEmpty() || it.key().contains(QLatin1Char('=')) || it.key().contains(nul) ||
                it.value().contains(nul)) {
                return refuse(
                    QStringLiteral("the environment variable \"%1\" cannot be passed").arg(it.key()));
            }
            envp << (it.key() + QLatin1Char('=') + it.value()).toLocal8Bit();
        }
    } else {
        envp = ProcessEnvironment::snapshot();
    }
    CStrings argvStrings(argv);
    CStrings envStrings(envp);

    // The child starts clean: signals blocked or ignored by whichever thread
    // launches it (ignored ones survive exec) must not leak into the tool.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signalSet;
    sigemptyset(&signalSet);
    posix_spawnattr_setsigmask(&attributes, &signalSet);
    sigfillset(&signalSet);
    posix_spawnattr_setsigdefault(&attributes, &signalSet);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The first action that cannot be set up (a pipe end already closed, as
    // for a pipe handed to a second task) fails the launch: the child would
    // otherwise write to our own stream, or run in the wrong folder.
    int result = 0;
    auto redirect = [&actions, &result](const Redirection& redirection, int target, bool childReads) {
        if (result != 0) {
            return;
        }
        if (redirection.pipe) {
            const int fd =
                childReads ? redirection.pipe->readDescriptor() : redirection.pipe->writeDescriptor();
            result = fd < 0 ? EBADF : posix_spawn_file_actions_adddup2(&actions, fd, target);
        } else if (redirection.stream == Stream::NullDevice) {
            result = posix_spawn_file_actions_addopen(&actions, target, "/dev/null",
                                                      childReads ? O_RDONLY : O_WRONLY, 0);
        }
    };
    redirect(stdin_, STDIN_FILENO, true);
    redirect(stdout_, STDOUT_FILENO, false);
    redirect(stderr_, STDERR_FILENO, false);
    const QByteArray directory = QFile::encodeName(currentDirectory_);
    if (result == 0 && !currentDirectory_.isEmpty()) {
        result = posix_spawn_file_actions_addchdir_np(&actions, directory.constData());
    }

    pid_t pid = -1;
    if (result == 0) {
        result =
            posix_spawn(&pid, path.constData(), &actions, &attributes, argvStrings.data(), envStrings.data());
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        if (error) {
            *error = Error::posix(result, QStringLiteral("Could not launch \"%1\"").arg(launchPath_));
        }
        return false;
    }

    // The child holds its own copies of these ends; ours would keep readers from seeing the end.
    if (stdin_.pipe) {
        stdin_.pipe->closeReadEnd();
    }
    if (stdout_.pipe) {
        stdout_.pipe->closeWriteEnd();
    }
    if (stderr_.pipe && stderr_.pipe != stdout_.pipe) {
        stderr_.pipe->closeWriteEnd();
    }
    {
        std::lock_guard lock(mutex_);
        pid_ = pid;
        launched_ = true;
        running_ = true;
    }
    std::thread([self = shared_from_this()] { self->watchExit(); }).detach();
    return true;
}

void Task::watchExit() {
    // Wait for the exit without collecting the child: until it is collected
    // under our mutex its process identifier cannot be reused, so `terminate`
    // never signals a stranger.
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    std::function<void(Task&)> handler;
    {
        std::lock_guard lock(mutex_);
        int status = 0;
        pid_t waited;
        do {
            waited = ::waitpid(pid_, &status, 0);
        } while (waited < 0 && errno == EINTR);
        running_ = false;
        if (waited == pid_ && WIFSIGNALED(status)) {
            reason_ = TerminationReason::UncaughtSignal;
            status_ = WTERMSIG(status);
        } else {
            reason_ = TerminationReason::Exit;
            status_ = waited == pid_ ? WEXITSTATUS(status) : -1;
        }
        handler = std::move(terminationHandler_);
    }
    exited_.notify_all();
    if (handler) {
        handler(*this);
    }
}

void Task::waitUntilExit() {
    ScopedBlockingCall blocking;
    std::unique_lock lock(mutex_);
    exited_.wait(lock, [this] { return !running_; });
}

bool Task::waitUntilExit(std::chrono::milliseconds timeout) {
    ScopedBlockingCall blocking;
    std::unique_lock lock(mutex_);
    return exited_.wait_for(lock, timeout, [this] { return !running_; });
}

bool Task::isRunning() const {
    std::lock_guard lock(mutex_);
    return running_;
}

void Task::terminate() {
    std::lock_guard lock(mutex_);
    if (running_) {
        ::kill(pid_, SIGTERM);
    }
}

int Task::terminationStatus() const {
    std::lock_guard lock(mutex_);
    return status_;
}

Task::TerminationReason Task::terminationReason() const {
    std::lock_guard lock(mutex_);
    return reason_;
}

} // namespace platform
