#pragma once

#include "BRLogFileInfo.h"
#include "platform/Error.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

// The log files of one folder: names new files, lists them newest first and
// prunes the old ones. Files are named "<application name> <timestamp>.log"
// with the timestamp "yyyy-MM-dd--HH-mm-ss-SSS" in local time; a name taken
// already gets " 2", " 3", … before the extension.
class BRLogFileManager {
public:
    static constexpr unsigned DefaultMaximumNumberOfLogFiles = 5;
    static constexpr std::uint64_t DefaultLogFilesDiskQuota = 20 * 1024 * 1024;

    static std::shared_ptr<BRLogFileManager> makeWithLogsDirectory(const QString& logsDirectory,
                                                                   const QString& applicationName);

    const QString& logsDirectory() const { return logsDirectory_; }
    const QString& applicationName() const { return applicationName_; }
    // A limit of 0 means no limit.
    unsigned maximumNumberOfLogFiles() const { return maximumNumberOfLogFiles_; }
    void setMaximumNumberOfLogFiles(unsigned count) { maximumNumberOfLogFiles_ = count; }
    std::uint64_t logFilesDiskQuota() const { return logFilesDiskQuota_; }
    void setLogFilesDiskQuota(std::uint64_t bytes) { logFilesDiskQuota_ = bytes; }

    // Makes the folder when missing; reports a failure on the standard error.
    bool ensureLogsDirectory() const;
    bool isLogFile(const QString& fileName) const;
    QString newLogFileName() const;
    // Creates an empty new file, prunes the old ones and answers its path.
    std::optional<QString> createNewLogFile(platform::Error* error = nullptr);
    QList<BRLogFileInfo> sortedLogFileInfos() const;
    QStringList sortedLogFilePaths() const;
    // Keeps at most the configured number of files and bytes, deleting the
    // oldest first; the newest file goes only when it is archived.
    void deleteOldLogFiles();

private:
    BRLogFileManager(QString logsDirectory, QString applicationName);

    const QString logsDirectory_;
    const QString applicationName_;
    unsigned maximumNumberOfLogFiles_ = DefaultMaximumNumberOfLogFiles;
    std::uint64_t logFilesDiskQuota_ = DefaultLogFilesDiskQuota;
};
