#include "AFXSetupLogger.h"

#include "BRConsoleLogger.h"
#include "BRFileLogger.h"
#include "BRLog.h"
#include "BRLogLineFormatter.h"
#include "BRSystemLogger.h"
#include "platform/Paths.h"

#include <QDir>
#include <QStringList>

void AFXSetupLogger(const QString& tag) {
    BRLog::addLogger(BRConsoleLogger::make());
    BRLog::addLogger(BRSystemLogger::make());

    // The real home differs from the home only for a program whose home is
    // redirected (a sandbox container); the logs then go to both.
    QStringList directories{platform::Paths::resolve(QStringLiteral("~/Library/Logs/Kestrel"))};
    if (platform::Paths::realHomeDirectory() != platform::Paths::homeDirectory()) {
        directories << QDir::cleanPath(platform::Paths::realHomeDirectory() +
                                       QStringLiteral("/Library/Logs/Kestrel"));
    }
    directories.removeDuplicates();

    const auto formatter = std::make_shared<BRLogLineFormatter>(BRLogLineFormatter::prefixForTag(tag));
    for (const QString& directory : directories) {
        auto manager = BRLogFileManager::makeWithLogsDirectory(directory, QStringLiteral("com.kestrel"));
        manager->setMaximumNumberOfLogFiles(7);
        auto logger = BRFileLogger::makeWithLogFileManager(manager);
        logger->setRollingFrequency(std::chrono::seconds(86400));
        logger->setLogFormatter(formatter);
        BRLog::addLogger(logger);
    }
}

QList<QUrl> AFXGetSortedLogFiles() {
    QList<QUrl> files;
    for (const auto& logger : BRLog::allLoggers()) {
        if (auto fileLogger = std::dynamic_pointer_cast<BRFileLogger>(logger)) {
            for (const QString& path : fileLogger->logFileManager()->sortedLogFilePaths()) {
                files << QUrl::fromLocalFile(path);
            }
        }
    }
    return files;
}
