#include "PlatformPrinters.h"
#include "platform/Paths.h"
#include "platform/Pipe.h"
#include "platform/PropertyList.h"
#include "platform/Task.h"
#include "platform/UserDefaults.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <thread>
#include <vector>

#include <sys/stat.h>

using namespace platform;
using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString kDomain = u"com.kestrel.tests.defaults"_s;

// What is on disk, read without the cache of any instance.
Value::Dictionary storedOnDisk() {
    const auto value =
        PropertyList::read(testing_support::readFile(UserDefaults::filePathForDomain(kDomain)));
    return value ? value->toDictionary() : Value::Dictionary();
}

// Runs the writer program in a child process (it inherits our root): it
// stores `count` integer keys named `prefix` + index in the domain.
std::shared_ptr<Task> launchWriter(const QString& prefix, int count, const std::shared_ptr<Pipe>& output) {
    auto task = Task::make();
    task->setLaunchPath(QStringLiteral(KESTREL_DEFAULTS_WRITER));
    task->setArguments({kDomain, prefix, QString::number(count)});
    task->setStandardOutput(output);
    task->setStandardError(output);
    Error error(QString(), 0);
    if (!task->launch(&error)) {
        ADD_FAILURE() << error.description().toStdString();
        return nullptr;
    }
    return task;
}

void expectWriterSucceeded(const std::shared_ptr<Task>& task, const std::shared_ptr<Pipe>& output) {
    const QByteArray log = output->readDataToEndOfFile();
    ASSERT_TRUE(task->waitUntilExit(60s));
    EXPECT_EQ(task->terminationReason(), Task::TerminationReason::Exit);
    EXPECT_EQ(task->terminationStatus(), 0) << log.toStdString();
}

} // namespace

TEST(UserDefaultsTests, RegisteredDefaultsAnswerForKeysTheFileLacks) {
    auto defaults = UserDefaults::makeWithSuiteName(kDomain);
    EXPECT_EQ(defaults, UserDefaults::makeWithSuiteName(kDomain));
    EXPECT_TRUE(defaults->objectForKey(u"color"_s).isNull());
    EXPECT_FALSE(defaults->boolForKey(u"color"_s));

    defaults->registerDefaults({{"color", "blue"}, {"count", 3}, {"enabled", "YES"}});
    EXPECT_EQ(defaults->stringForKey(u"color"_s), u"blue"_s);
    EXPECT_EQ(defaults->integerForKey(u"count"_s), 3);
    EXPECT_EQ(defaults->stringForKey(u"count"_s), u"3"_s);
    EXPECT_TRUE(defaults->boolForKey(u"enabled"_s));

    ASSERT_TRUE(defaults->setObject("red", u"color"_s));
    EXPECT_EQ(defaults->stringForKey(u"color"_s), u"red"_s);
    EXPECT_EQ(defaults->dictionaryRepresentation()[u"count"_s], Value(3));
    ASSERT_TRUE(defaults->removeObjectForKey(u"color"_s));
    EXPECT_EQ(defaults->stringForKey(u"color"_s), u"blue"_s);
    // Registered defaults are never written to the file.
    EXPECT_EQ(storedOnDisk(), Value::Dictionary());
}

TEST(UserDefaultsTests, WritesLandInTheDomainsFileAtOnce) {
    auto defaults = UserDefaults::makeWithSuiteName(kDomain);
    EXPECT_EQ(UserDefaults::filePathForDomain(kDomain),
              Paths::resolve(u"~/Library/Preferences/com.kestrel.tests.defaults.plist"_s));
    const Value::Dictionary window{{"x", 10}, {"y", 20.5}, {"titles", Value::Array{"a", "b"}}};
    ASSERT_TRUE(defaults->setObject(window, u"window"_s));
    ASSERT_TRUE(defaults->setObject(true, u"flag"_s));
    EXPECT_EQ(storedOnDisk(), (Value::Dictionary{{"window", window}, {"flag", true}}));
    EXPECT_EQ(defaults->dictionaryForKey(u"window"_s), window);
    EXPECT_EQ(defaults->arrayForKey(u"window"_s), Value::Array());

    ASSERT_TRUE(defaults->setObject(Value(), u"window"_s));
    EXPECT_EQ(storedOnDisk(), (Value::Dictionary{{"flag", true}}));
    EXPECT_FALSE(defaults->setObject(Value(Value::Array{Value()}), u"unwritable"_s));
    EXPECT_TRUE(defaults->objectForKey(u"unwritable"_s).isNull());

    // Someone deletes the whole file (a reset): an old cache must not bring the keys back.
    ASSERT_TRUE(QFile::remove(UserDefaults::filePathForDomain(kDomain)));
    ASSERT_TRUE(defaults->setObject(1, u"fresh"_s));
    EXPECT_EQ(storedOnDisk(), (Value::Dictionary{{"fresh", 1}}));
}

TEST(UserDefaultsTests, ChangesMadeByAnotherProcessAreSeen) {
    auto defaults = UserDefaults::makeWithSuiteName(kDomain);
    ASSERT_TRUE(defaults->setObject("parent", u"owner"_s));
    EXPECT_TRUE(defaults->objectForKey(u"child0"_s).isNull()); // now cached as absent

    auto output = Pipe::make();
    auto writer = launchWriter(u"child"_s, 3, output);
    ASSERT_NE(writer, nullptr);
    expectWriterSucceeded(writer, output);

    EXPECT_EQ(defaults->objectForKey(u"child2"_s), Value(2));
    EXPECT_EQ(defaults->stringForKey(u"owner"_s), u"parent"_s);
    // Our next write keeps what the other process wrote.
    ASSERT_TRUE(defaults->setObject("again", u"owner"_s));
    EXPECT_EQ(storedOnDisk().size(), 4);
}

TEST(UserDefaultsTests, ConcurrentWritersLoseNoKeys) {
    constexpr int kPerWriter = 15;
    std::vector<std::pair<std::shared_ptr<Task>, std::shared_ptr<Pipe>>> processes;
    for (const char* prefix : {"first-", "second-"}) {
        auto output = Pipe::make();
        auto task = launchWriter(QString::fromLatin1(prefix), kPerWriter, output);
        ASSERT_NE(task, nullptr);
        processes.emplace_back(task, output);
    }
    auto defaults = UserDefaults::makeWithSuiteName(kDomain);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerWriter; ++i) {
                EXPECT_TRUE(defaults->setObject(i, u"thread%1-%2"_s.arg(t).arg(i)));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const auto& [task, output] : processes) {
        expectWriterSucceeded(task, output);
    }

    const Value::Dictionary stored = storedOnDisk();
    EXPECT_EQ(stored.size(), 6 * kPerWriter);
    EXPECT_EQ(stored.value(u"second-14"_s), Value(14));
    EXPECT_EQ(stored.value(u"thread3-14"_s), Value(14));
    EXPECT_EQ(defaults->dictionaryRepresentation(), stored);
}

TEST(UserDefaultsTests, FilesAreTheOwnersAloneAndReplaceEarlierOnes) {
    const QString path = UserDefaults::filePathForDomain(kDomain);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    // Files left readable by others by an earlier writer do not stay so.
    for (const QString& file : {path, path + u".lock"_s}) {
        ASSERT_TRUE(testing_support::writeFile(file, QByteArray()));
        ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0644), 0);
    }
    auto defaults = UserDefaults::makeWithSuiteName(kDomain);
    ASSERT_TRUE(defaults->setObject(u"secret"_s, u"token"_s));
    ASSERT_TRUE(defaults->setObject(2, u"other"_s));
    for (const QString& file : {path, path + u".lock"_s}) {
        struct stat info {};
        ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0) << file.toStdString();
        EXPECT_EQ(info.st_mode & 07777, 0600u) << file.toStdString();
    }
    EXPECT_EQ(storedOnDisk(), (Value::Dictionary{{"token", u"secret"_s}, {"other", 2}}));
    // Nothing but the file and its lock is left in the folder.
    EXPECT_EQ(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST(UserDefaultsTests, SuiteNamesThatLeaveThePreferencesFolderAreRefused) {
    for (const QString& name : {QString(), u"../escape"_s, u"a/b"_s, u"/etc/passwd"_s, u".."_s, u"a..b"_s}) {
        EXPECT_EQ(UserDefaults::makeWithSuiteName(name), nullptr) << name.toStdString();
    }
    EXPECT_NE(UserDefaults::makeWithSuiteName(u"com.example.ok-name_1"_s), nullptr);

    // A write that cannot take the lock fails and changes nothing.
    auto defaults = UserDefaults::makeWithSuiteName(kDomain);
    ASSERT_TRUE(defaults->setObject(1, u"before"_s));
    const QString lock = UserDefaults::filePathForDomain(kDomain) + u".lock"_s;
    ASSERT_TRUE(QFile::remove(lock));
    ASSERT_TRUE(QDir().mkpath(lock));
    EXPECT_FALSE(defaults->setObject(2, u"after"_s));
    EXPECT_EQ(storedOnDisk(), (Value::Dictionary{{"before", 1}}));
    EXPECT_TRUE(defaults->objectForKey(u"after"_s).isNull());
}
