#include "BRLogFileManager.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

BRLogFileManager::BRLogFileManager(QString logsDirectory, QString applicationName)
    : logsDirectory_(std::move(logsDirectory)), applicationName_(std::move(applicationName)) {}

std::shared_ptr<BRLogFileManager> BRLogFileManager::makeWithLogsDirectory(const QString& logsDirectory,
                                                                          const QString& applicationName) {
    return std::shared_ptr<BRLogFileManager>(new BRLogFileManager(logsDirectory, applicationName));
}

bool BRLogFileManager::ensureLogsDirectory() const {
    if (QDir().mkpath(logsDirectory_)) {
        return true;
    }
    std::fprintf(stderr, "DDFileLogManagerDefault: Error creating logsDirectory: %s\n",
                 platform::Error::posix(errno, logsDirectory_).description().toUtf8().constData());
    return false;
}

bool BRLogFileManager::isLogFile(const QString& fileName) const {
    return fileName.startsWith(applicationName_ + QLatin1Char(' ')) &&
           fileName.endsWith(QLatin1String(".log"));
}

QString BRLogFileManager::newLogFileName() const {
    const QString timestamp = QLocale::c().toString(QDateTime::currentDateTime(),
                                                    QStringLiteral("yyyy'-'MM'-'dd'--'HH'-'mm'-'ss'-'zzz"));
    return QStringLiteral("%1 %2.log").arg(applicationName_, timestamp);
}

std::optional<QString> BRLogFileManager::createNewLogFile(platform::Error* error) {
    if (!ensureLogsDirectory()) {
        if (error) {
            *error = platform::Error::posix(errno, logsDirectory_);
        }
        return std::nullopt;
    }
    const QString name = newLogFileName();
    const QString base = name.chopped(4);
    for (unsigned long counter = 1;; ++counter) {
        const QString candidate = counter == 1 ? name : base + QStringLiteral(" %1.log").arg(counter);
        const QString path = logsDirectory_ + QLatin1Char('/') + candidate;
        // O_EXCL makes taking a name and creating the file one step.
        const int fd =
            ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            deleteOldLogFiles();
            return path;
        }
        if (errno != EEXIST) {
            if (error) {
                *error = platform::Error::posix(errno, path);
            }
            return std::nullopt;
        }
    }
}

QList<BRLogFileInfo> BRLogFileManager::sortedLogFileInfos() const {
    QList<BRLogFileInfo> infos;
    const QStringList names = QDir(logsDirectory_).entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        if (isLogFile(name)) {
            infos.append(BRLogFileInfo(logsDirectory_ + QLatin1Char('/') + name));
        }
    }
    std::sort(infos.begin(), infos.end(),
              [](const BRLogFileInfo& a, const BRLogFileInfo& b) { return a.isNewerThan(b); });
    return infos;
}

QStringList BRLogFileManager::sortedLogFilePaths() const {
    QStringList paths;
    for (const BRLogFileInfo& info : sortedLogFileInfos()) {
        paths << info.filePath();
    }
    return paths;
}

void BRLogFileManager::deleteOldLogFiles() {
    const QList<BRLogFileInfo> infos = sortedLogFileInfos();
    qsizetype firstToDelete = infos.size();
    if (logFilesDiskQuota_ > 0) {
        std::uint64_t used = 0;
        for (qsizetype i = 0; i < infos.size(); ++i) {
            used += infos[i].fileSize();
            if (used > logFilesDiskQuota_) {
                firstToDelete = i;
                break;
            }
        }
    }
    if (maximumNumberOfLogFiles_ > 0) {
        firstToDelete = std::min<qsizetype>(firstToDelete, maximumNumberOfLogFiles_);
    }
    if (firstToDelete == 0 && !infos.isEmpty() && !infos.first().isArchived()) {
        firstToDelete = 1;
    }
    for (qsizetype i = firstToDelete; i < infos.size(); ++i) {
        QFile::remove(infos[i].filePath());
    }
}
