#include "RunningApplication.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace platform {

QList<RunningApplication> RunningApplication::runningApplications() {
    QList<RunningApplication> applications;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool isProcess = false;
        const pid_t pid = static_cast<pid_t>(entry.toLong(&isProcess));
        if (!isProcess) {
            continue;
        }
        // A process that is gone, or not ours to look at, has no readable link.
        const QString executable = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
        const qsizetype macOS = executable.lastIndexOf(QLatin1String(".app/Contents/MacOS/"));
        if (executable.isEmpty() || macOS < 0 || executable.endsWith(QLatin1String(" (deleted)"))) {
            continue;
        }
        RunningApplication application;
        application.pid_ = pid;
        application.executablePath_ = executable;
        application.bundlePath_ = executable.left(macOS + 4);
        struct stat info {};
        if (::stat(QFile::encodeName(application.bundlePath_).constData(), &info) != 0) {
            continue;
        }
        application.bundleIdentity_ = {static_cast<std::uint64_t>(info.st_dev),
                                       static_cast<std::uint64_t>(info.st_ino)};
        applications.append(application);
    }
    return applications;
}

} // namespace platform
