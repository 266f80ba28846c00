#include "AFXRemoveFromQuarantine.h"

#include "platform/Task.h"
#include "platform/Tools.h"

bool AFXRemoveFromQuarantine(const QString& path, std::optional<platform::Error>* error) {
    auto task = platform::Task::make();
    task->setLaunchPath(platform::Tools::path(QStringLiteral("/usr/bin/xattr")));
    task->setArguments({QStringLiteral("-rd"), QStringLiteral("com.apple.quarantine"), path});
    task->setStandardInput(platform::Task::Stream::NullDevice);
    // Its complaints (an item without the mark, say) mean nothing to our users.
    task->setStandardOutput(platform::Task::Stream::NullDevice);
    task->setStandardError(platform::Task::Stream::NullDevice);
    bool removed = task->launch();
    if (removed) {
        task->waitUntilExit();
        removed = task->terminationReason() == platform::Task::TerminationReason::Exit &&
                  task->terminationStatus() == 0;
    }
    if (!removed && error) {
        error->reset();
    }
    return true;
}
