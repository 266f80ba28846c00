#pragma once

#include "platform/Error.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace platform {
class Pipe;
class Task;
} // namespace platform

// One run of a platform tool ("/usr/bin/ditto", "/usr/bin/hdiutil") whose
// standard error tells why it failed.
class BRToolRun {
public:
    // Starts the tool, reading `standardInput` when one is given; nothing
    // with the error when it cannot start.
    static std::optional<BRToolRun> launch(const QString& systemPath, const QStringList& arguments,
                                           std::shared_ptr<platform::Pipe> standardInput,
                                           platform::Error* error);

    // Waits for the tool. Only an exit with status 0 succeeds; any other end,
    // a death by a signal included, is the error: the termination status
    // (the signal number then) as its code in NSOSStatusErrorDomain, the
    // tool's standard error as its description.
    bool finish(platform::Error* error);
    // Asks the tool to end (SIGTERM); `finish` waits for it.
    void terminate();

private:
    BRToolRun(std::shared_ptr<platform::Task> task, std::shared_ptr<platform::Pipe> standardError)
        : task_(std::move(task)), standardError_(std::move(standardError)) {}

    std::shared_ptr<platform::Task> task_;
    std::shared_ptr<platform::Pipe> standardError_;
};
