#pragma once

#include "Error.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include <sys/types.h>

namespace platform {

class Pipe;

// A child process: set it up, launch it, wait for it. A standard stream is
// inherited unless given a pipe or the null device. The child starts with no
// signal blocked and every signal at its default action. A launch failure (no
// such file, not executable, a NUL inside a path, argument or variable) is an
// Error from `launch`; once launched, the process's exit is noticed on a
// thread of its own, so waiting can have a bound and a termination handler
// can run.
class Task : public std::enable_shared_from_this<Task> {
public:
    enum class TerminationReason { Exit, UncaughtSignal };
    enum class Stream { Inherit, NullDevice };

    static std::shared_ptr<Task> make();
    // A launched task, or null with the error.
    static std::shared_ptr<Task> launchedTask(const QString& launchPath, const QStringList& arguments,
                                              Error* error = nullptr);
    ~Task();

    void setLaunchPath(const QString& path) { launchPath_ = path; }
    const QString& launchPath() const { return launchPath_; }
    void setArguments(const QStringList& arguments) { arguments_ = arguments; }
    const QStringList& arguments() const { return arguments_; }
    // Without an environment the child gets a copy of ours (see ProcessEnvironment).
    void setEnvironment(const QMap<QString, QString>& environment) { environment_ = environment; }
    void setCurrentDirectoryPath(const QString& path) { currentDirectory_ = path; }
    void setStandardInput(std::shared_ptr<Pipe> pipe) { stdin_ = {std::move(pipe), Stream::Inherit}; }
    void setStandardInput(Stream stream) { stdin_ = {nullptr, stream}; }
    void setStandardOutput(std::shared_ptr<Pipe> pipe) { stdout_ = {std::move(pipe), Stream::Inherit}; }
    void setStandardOutput(Stream stream) { stdout_ = {nullptr, stream}; }
    void setStandardError(std::shared_ptr<Pipe> pipe) { stderr_ = {std::move(pipe), Stream::Inherit}; }
    void setStandardError(Stream stream) { stderr_ = {nullptr, stream}; }
    // Runs on the exit-watching thread once the process has ended.
    void setTerminationHandler(std::function<void(Task&)> handler);

    bool launch(Error* error = nullptr);
    void waitUntilExit();
    // Answers true when the process ended within the timeout.
    bool waitUntilExit(std::chrono::milliseconds timeout);
    bool isRunning() const;
    // SIGTERM.
    void terminate();
    pid_t processIdentifier() const { return pid_; }
    // The exit status, or the signal number for a process ended by a signal.
    int terminationStatus() const;
    TerminationReason terminationReason() const;

private:
    Task() = default;
    struct Redirection {
        std::shared_ptr<Pipe> pipe;
        Stream stream = Stream::Inherit;
    };
    void watchExit();

    QString launchPath_;
    QStringList arguments_;
    std::optional<QMap<QString, QString>> environment_;
    QString currentDirectory_;
    Redirection stdin_;
    Redirection stdout_;
    Redirection stderr_;

    pid_t pid_ = -1;
    // The exit arrives on the watching thread while others wait for it.
    mutable std::mutex mutex_;
    std::condition_variable exited_;
    bool launched_ = false;
    bool running_ = false;
    int status_ = 0;
    TerminationReason reason_ = TerminationReason::Exit;
    std::function<void(Task&)> terminationHandler_;
};

} // namespace platform
