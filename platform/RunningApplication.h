#pragma once

#include "FileReference.h"

#include <QList>
#include <QString>

#include <sys/types.h>

namespace platform {

// A process of this user running an application bundle: its executable lies
// in "<Name>.app/Contents/MacOS/". Read from /proc, which shows only the
// processes this user may look at.
class RunningApplication {
public:
    static QList<RunningApplication> runningApplications();

    pid_t processIdentifier() const { return pid_; }
    const QString& bundlePath() const { return bundlePath_; }
    const QString& executablePath() const { return executablePath_; }
    // The device and inode of the bundle folder, to tell whether it is a given item.
    const FileReference::Identity& bundleIdentity() const { return bundleIdentity_; }

private:
    pid_t pid_ = 0;
    QString bundlePath_;
    QString executablePath_;
    FileReference::Identity bundleIdentity_;
};

} // namespace platform
