#include "LogCapture.h"
#include "platform/DispatchSemaphore.h"
#include "support/AFXSetupLogger.h"
#include "support/BRConsoleLogger.h"
#include "support/BRFileLogger.h"
#include "support/BRLog.h"
#include "support/BRLogFileManager.h"
#include "support/BRLogLineFormatter.h"
#include "support/BRSystemLogger.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <iterator>
#include <vector>

#include <sys/xattr.h>

using testing_support::LoggersRemover;
using testing_support::RecordingLogger;

namespace {

const QString kApp = QStringLiteral("com.kestrel");

QString logsDirectory(const QString& name) {
    return testing_support::testRoot() + QLatin1Char('/') + name;
}

// A file named as the manager names them, created at the given time.
QString makeLogFile(const QString& directory, const QDateTime& created, qsizetype bytes = 0) {
    const QString stamp = QLocale::c().toString(created, QStringLiteral("yyyy-MM-dd--HH-mm-ss-zzz"));
    const QString path = QStringLiteral("%1/%2 %3.log").arg(directory, kApp, stamp);
    EXPECT_TRUE(testing_support::writeFile(path, QByteArray(bytes, 'x'))) << path.toStdString();
    return path;
}

// Read straight from the file system: the mark lives in Linux's "user." namespace.
bool hasArchivedMark(const QString& path) {
    return ::getxattr(QFile::encodeName(path).constData(), "user.lumberjack.log.archived", nullptr, 0) >= 0;
}

// Holds back every message whose text is "held" until released.
class GatedLogger : public RecordingLogger {
public:
    static std::shared_ptr<GatedLogger> make() { return std::shared_ptr<GatedLogger>(new GatedLogger); }
    void release() { gate_->signal(); }

private:
    void willRecord(const BRLogMessage& message) override {
        if (message.message == QStringLiteral("held")) {
            gate_->wait(std::chrono::seconds(5));
        }
    }
    std::shared_ptr<platform::DispatchSemaphore> gate_ = platform::DispatchSemaphore::make();
};

TEST(Logging, MessageIsDeliveredOnlyWhenTheLevelEnablesItsFlag) {
    ASSERT_FALSE(BRLog::hasLoggers());
    LoggersRemover remover;
    auto recorder = RecordingLogger::install();

    const BRLogLevel levels[] = {BRLogLevelOff,  BRLogLevelError, BRLogLevelWarning,
                                 BRLogLevelInfo, BRLogLevelDebug, BRLogLevelVerbose};
    const BRLogFlag flags[] = {BRLogFlagError, BRLogFlagWarning, BRLogFlagInfo, BRLogFlagDebug,
                               BRLogFlagVerbose};
    // The masks are fixed values, not just an order.
    EXPECT_EQ((std::vector<unsigned>(std::begin(levels), std::end(levels))),
              (std::vector<unsigned>{0, 1, 3, 7, 15, 31}));
    EXPECT_EQ((std::vector<unsigned>(std::begin(flags), std::end(flags))),
              (std::vector<unsigned>{1, 2, 4, 8, 16}));
    // Each level enables the flags before it in this order, and none after.
    for (int l = 0; l < 6; ++l) {
        for (int f = 0; f < 5; ++f) {
            recorder->clear();
            BRLog::log(false, levels[l], flags[f], 0, __FILE__, __func__, __LINE__, QString(),
                       QStringLiteral("n=%d"), f);
            const bool expected = f < l;
            EXPECT_EQ(recorder->texts(),
                      expected ? QStringList{QStringLiteral("n=%1").arg(f)} : QStringList())
                << "level " << levels[l] << " flag " << flags[f];
        }
    }
}

TEST(Logging, ErrorsAreWrittenBeforeTheCallReturnsOtherFlagsLaterInOrder) {
    LoggersRemover remover;
    auto gated = GatedLogger::make();
    BRLog::addLogger(gated);

    BRLogInfo("held");
    // An asynchronous call must not wait for the sink.
    EXPECT_TRUE(gated->texts().isEmpty());
    gated->release();

    BRLogError("urgent %@", QStringLiteral("now"));
    EXPECT_EQ(gated->texts(), (QStringList{QStringLiteral("held"), QStringLiteral("urgent now")}));
    EXPECT_EQ(gated->messages().back().flag, BRLogFlagError);

    BRLogWarn("warned 100%%");
    BRLogDebug("debugged");
    BRLogVerbose("verbose");
    BRLog::flushLog();
    EXPECT_EQ(gated->texts().mid(2), (QStringList{QStringLiteral("warned 100%"), QStringLiteral("debugged"),
                                                  QStringLiteral("verbose")}));
}

TEST(Logging, LineFormatterPadsTheTagPrefixAndEndsEachLineWithOneNewline) {
    EXPECT_EQ(BRLogLineFormatter::prefixForTag(QStringLiteral("abc")),
              QStringLiteral("<abc> ") + QString(14, QLatin1Char(' ')));
    const QString longTag(30, QLatin1Char('t'));
    EXPECT_EQ(BRLogLineFormatter::prefixForTag(longTag), QStringLiteral("<%1> ").arg(longTag));

    const BRLogLineFormatter formatter(BRLogLineFormatter::prefixForTag(QStringLiteral("abc")));
    BRLogMessage message;
    message.timestamp = QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9, 45));
    message.message = QStringLiteral("hello");
    EXPECT_EQ(formatter.formatLogMessage(message),
              formatter.prefix() + QStringLiteral("2024/03/05 07:08:09:045  hello\n"));
    message.message = QStringLiteral("bye\n");
    EXPECT_EQ(formatter.formatLogMessage(message),
              formatter.prefix() + QStringLiteral("2024/03/05 07:08:09:045  bye\n"));
}

TEST(Logging, SetupLoggerWritesTaggedLinesIntoTheUsersLogsFolderKeepingSevenFiles) {
    LoggersRemover remover;
    const QString directory = testing_support::testRoot() + QStringLiteral("/home/Library/Logs/Kestrel");

    // Nothing is written, and no folder made, before a sink is registered.
    BRLogError("lost");
    BRLogInfo("lost too");
    EXPECT_FALSE(QFileInfo::exists(directory));

    // Eight files older than a day: none is reused, and pruning keeps seven.
    const QDateTime now = QDateTime::currentDateTime();
    QStringList old;
    for (int days = 2; days < 10; ++days) {
        old << makeLogFile(directory, now.addDays(-days), 10);
    }

    AFXSetupLogger(QStringLiteral("abc"));
    const auto sinks = BRLog::allLoggers();
    ASSERT_EQ(sinks.size(), 3);
    EXPECT_TRUE(std::dynamic_pointer_cast<BRConsoleLogger>(sinks[0]) &&
                std::dynamic_pointer_cast<BRSystemLogger>(sinks[1]) &&
                std::dynamic_pointer_cast<BRFileLogger>(sinks[2]));

    BRLogError("hello");
    BRLogInfo("later %d", 7);
    BRLog::flushLog();

    const QList<QUrl> files = AFXGetSortedLogFiles();
    ASSERT_EQ(files.size(), 7);
    QStringList paths;
    for (const QUrl& url : files) {
        paths << url.toLocalFile();
    }
    EXPECT_FALSE(old.contains(paths.first()));
    EXPECT_EQ(paths.mid(1), old.mid(0, 6));
    EXPECT_EQ(QFileInfo(paths.first()).absolutePath(), directory);

    // Every file sink's files are listed, sink after sink.
    const QString otherDirectory = logsDirectory(QStringLiteral("other"));
    const QString otherFile = makeLogFile(otherDirectory, now.addSecs(-60), 1);
    BRLog::addLogger(
        BRFileLogger::makeWithLogFileManager(BRLogFileManager::makeWithLogsDirectory(otherDirectory, kApp)));
    const QList<QUrl> allFiles = AFXGetSortedLogFiles();
    EXPECT_EQ(allFiles.mid(0, 7), files);
    EXPECT_EQ(allFiles.mid(7), QList<QUrl>{QUrl::fromLocalFile(otherFile)});

    static const QRegularExpression line(
        QStringLiteral("^<abc> {15}\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}:\\d{3}  hello\\n"
                       "<abc> {15}\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}:\\d{3}  later 7\\n$"));
    const QString content = QString::fromUtf8(testing_support::readFile(paths.first()));
    EXPECT_TRUE(line.match(content).hasMatch()) << content.toStdString();
}

TEST(LogFileManager, NamesFilesAfterTheApplicationAndTimeAndNumbersCollisions) {
    auto manager = BRLogFileManager::makeWithLogsDirectory(logsDirectory(QStringLiteral("logs")), kApp);
    static const QRegularExpression pattern(
        QStringLiteral("^com\\.kestrel \\d{4}-\\d{2}-\\d{2}--\\d{2}-\\d{2}-\\d{2}-\\d{3}\\.log$"));
    const QString name = manager->newLogFileName();
    EXPECT_TRUE(pattern.match(name).hasMatch()) << name.toStdString();
    EXPECT_LT(std::abs(BRLogFileInfo(name).creationDate().msecsTo(QDateTime::currentDateTime())), 60'000);

    // Take the names of every millisecond from now until half a second ahead
    // of the clock, so that the new file has to share one.
    manager->setMaximumNumberOfLogFiles(100'000);
    const QDateTime start = QDateTime::currentDateTime();
    int taken = 0;
    while (start.addMSecs(taken) < QDateTime::currentDateTime().addMSecs(500) && taken < 50'000) {
        makeLogFile(manager->logsDirectory(), start.addMSecs(taken++));
    }
    const auto created = manager->createNewLogFile();
    ASSERT_TRUE(created);
    const QString createdName = QFileInfo(*created).fileName();
    ASSERT_TRUE(createdName.endsWith(QStringLiteral(" 2.log"))) << createdName.toStdString();
    const BRLogFileInfo second(*created);
    const BRLogFileInfo first(manager->logsDirectory() + QLatin1Char('/') + createdName.chopped(6) +
                              QStringLiteral(".log"));
    EXPECT_EQ(second.counter(), 2u);
    EXPECT_EQ(second.creationDate(), first.creationDate());
    EXPECT_TRUE(second.isNewerThan(first));
    EXPECT_FALSE(first.isNewerThan(second));
}

TEST(LogFileManager, PrunesOldestFirstToTheFileCountAndDiskQuotaButKeepsAnUnarchivedNewest) {
    auto manager = BRLogFileManager::makeWithLogsDirectory(logsDirectory(QStringLiteral("logs")), kApp);
    EXPECT_EQ(manager->maximumNumberOfLogFiles(), 5u);
    EXPECT_EQ(manager->logFilesDiskQuota(), 20u * 1024 * 1024);

    const QDateTime now = QDateTime::currentDateTime();
    QStringList newestFirst;
    for (int hours = 0; hours < 8; ++hours) {
        newestFirst << makeLogFile(manager->logsDirectory(), now.addSecs(-3600 * hours), 100);
    }
    // Another application's file is none of ours.
    const QString foreign = manager->logsDirectory() + QStringLiteral("/other 2024-01-01--00-00-00-000.log");
    ASSERT_TRUE(testing_support::writeFile(foreign, "x"));
    EXPECT_EQ(manager->sortedLogFilePaths(), newestFirst);

    manager->deleteOldLogFiles();
    EXPECT_EQ(manager->sortedLogFilePaths(), newestFirst.mid(0, 5));

    manager->setLogFilesDiskQuota(250);
    manager->deleteOldLogFiles();
    EXPECT_EQ(manager->sortedLogFilePaths(), newestFirst.mid(0, 2));

    manager->setLogFilesDiskQuota(50);
    manager->deleteOldLogFiles();
    EXPECT_EQ(manager->sortedLogFilePaths(), newestFirst.mid(0, 1));

    ASSERT_TRUE(BRLogFileInfo(newestFirst.first()).setArchived(true));
    manager->deleteOldLogFiles();
    EXPECT_TRUE(manager->sortedLogFilePaths().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(foreign));
}

TEST(FileLogger, ReusesTheNewestFileOnlyWhenUnarchivedSmallAndYoung) {
    // The maximum size is 100 bytes; the rolling frequency the default day.
    const struct {
        const char* name;
        qint64 ageSeconds;
        qsizetype bytes;
        bool archived, reused;
    } cases[] = {{"fresh", 60, 10, false, true},
                 {"archived", 60, 10, true, false},
                 {"full", 60, 100, false, false},
                 {"older than the rolling frequency", 2 * 86400, 10, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString directory = logsDirectory(QString::fromLatin1(c.name));
        const QString newest =
            makeLogFile(directory, QDateTime::currentDateTime().addSecs(-c.ageSeconds), c.bytes);
        makeLogFile(directory, QDateTime::currentDateTime().addSecs(-c.ageSeconds - 60), 10);
        if (c.archived) {
            ASSERT_TRUE(BRLogFileInfo(newest).setArchived(true));
        }
        auto logger =
            BRFileLogger::makeWithLogFileManager(BRLogFileManager::makeWithLogsDirectory(directory, kApp));
        logger->setMaximumFileSize(100);
        const QString current = logger->currentLogFilePath();
        EXPECT_EQ(current == newest, c.reused) << current.toStdString();
        EXPECT_EQ(QFileInfo(current).absolutePath(), directory);
        EXPECT_EQ(logger->logFileManager()->sortedLogFilePaths().first(), current);
    }
}

TEST(FileLogger, RollsAtTheMaximumSizeMarkingTheRolledFileArchived) {
    LoggersRemover remover;
    const QString directory = logsDirectory(QStringLiteral("logs"));
    auto logger =
        BRFileLogger::makeWithLogFileManager(BRLogFileManager::makeWithLogsDirectory(directory, kApp));
    BRLog::addLogger(logger);

    // The default maximum is one mebibyte.
    const QString first = logger->currentLogFilePath();
    BRLogError("%@", QString(1024 * 1024 - 10, QLatin1Char('a')));
    EXPECT_EQ(logger->currentLogFilePath(), first);
    EXPECT_FALSE(hasArchivedMark(first));
    BRLogError("%@", QString(20, QLatin1Char('b')));
    EXPECT_TRUE(hasArchivedMark(first));
    EXPECT_EQ(QFileInfo(first).size(), 1024 * 1024 + 10);

    logger->setMaximumFileSize(100);
    BRLogError("%@", QString(60, QLatin1Char('c')));
    const QString second = logger->currentLogFilePath();
    EXPECT_NE(second, first);
    EXPECT_FALSE(hasArchivedMark(second));
    BRLogError("%@", QString(60, QLatin1Char('d')));
    EXPECT_TRUE(hasArchivedMark(second));
    EXPECT_EQ(testing_support::readFile(second), QByteArray(60, 'c') + QByteArray(60, 'd'));

    BRLogError("after");
    const QStringList files = logger->logFileManager()->sortedLogFilePaths();
    ASSERT_EQ(files.size(), 3);
    EXPECT_EQ(files.mid(1), (QStringList{second, first}));
    EXPECT_EQ(testing_support::readFile(files.first()), QByteArray("after"));
    EXPECT_FALSE(hasArchivedMark(files.first()));
}

TEST(FileLogger, RollsOnceTheRollingFrequencyHasPassedSinceTheFileWasCreated) {
    const QString directory = logsDirectory(QStringLiteral("logs"));
    const QString tenMinutesOld = makeLogFile(directory, QDateTime::currentDateTime().addSecs(-600), 5);
    auto logger =
        BRFileLogger::makeWithLogFileManager(BRLogFileManager::makeWithLogsDirectory(directory, kApp));
    ASSERT_EQ(logger->currentLogFilePath(), tenMinutesOld);
    EXPECT_FALSE(hasArchivedMark(tenMinutesOld));

    logger->setRollingFrequency(std::chrono::seconds(60));
    EXPECT_TRUE(testing_support::waitUntil([&] { return hasArchivedMark(tenMinutesOld); }));

    const QString next = logger->currentLogFilePath();
    EXPECT_NE(next, tenMinutesOld);
    EXPECT_FALSE(hasArchivedMark(next));
}

TEST(FileLogger, UncreatableFolderWritesNothingAndReportsOnStandardError) {
    LoggersRemover remover;
    const QString blocker = logsDirectory(QStringLiteral("blocker"));
    ASSERT_TRUE(testing_support::writeFile(blocker, "a file, not a folder"));
    auto logger = BRFileLogger::makeWithLogFileManager(
        BRLogFileManager::makeWithLogsDirectory(blocker + QStringLiteral("/Logs"), kApp));
    BRLog::addLogger(logger);

    testing::internal::CaptureStderr();
    BRLogError("nowhere to go");
    const QString path = logger->currentLogFilePath();
    const std::string err = testing::internal::GetCapturedStderr();

    EXPECT_TRUE(path.isEmpty());
    EXPECT_NE(err.find("DDFileLogManagerDefault: Error creating logsDirectory: "), std::string::npos) << err;
    EXPECT_EQ(testing_support::readFile(blocker), QByteArray("a file, not a folder"));
}

} // namespace
