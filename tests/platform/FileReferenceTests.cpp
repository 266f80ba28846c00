#include "platform/FileReference.h"
#include "platform/FileReferenceURL.h"
#include "platform/Value.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <unistd.h>

using namespace platform;
using testing_support::testRoot;
using testing_support::writeFile;

namespace {

// What descriptor `fd` names now, or an empty string when it is closed.
QString descriptorTarget(int fd) {
    return QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(fd));
}

} // namespace

TEST(FileReference, FollowsItsItemThroughRenamesAndMovesBetweenFolders) {
    const QString root = testRoot();
    ASSERT_TRUE(writeFile(root + QStringLiteral("/one/Tool.app/Contents/Info.plist"), "x"));
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/two")));
    const auto reference = FileReference::make(root + QStringLiteral("/one/Tool.app"));
    ASSERT_TRUE(reference);
    EXPECT_EQ(reference->path(), root + QStringLiteral("/one/Tool.app"));

    ASSERT_TRUE(
        QDir().rename(root + QStringLiteral("/one/Tool.app"), root + QStringLiteral("/one/Renamed.app")));
    EXPECT_EQ(reference->path(), root + QStringLiteral("/one/Renamed.app"));

    ASSERT_TRUE(
        QDir().rename(root + QStringLiteral("/one/Renamed.app"), root + QStringLiteral("/two/Moved.app")));
    EXPECT_EQ(reference->path(), root + QStringLiteral("/two/Moved.app"));
    EXPECT_EQ(reference->filePathURL(), QUrl::fromLocalFile(root + QStringLiteral("/two/Moved.app")));

    EXPECT_FALSE(FileReference::make(root + QStringLiteral("/one/Tool.app")));
    EXPECT_FALSE(FileReference::makeWithURL(QUrl(QStringLiteral("https://example.com") + root)));
}

TEST(FileReference, StopsResolvingOnceItsItemIsDeletedEvenWithAnotherLinkLeft) {
    const QString root = testRoot();
    const QString file = root + QStringLiteral("/doomed");
    ASSERT_TRUE(writeFile(file, "x"));
    const auto reference = FileReference::make(file);
    ASSERT_TRUE(reference);
    const auto identity = reference->identity();
    ASSERT_EQ(::link(QFile::encodeName(file).constData(),
                     QFile::encodeName(root + QStringLiteral("/survivor")).constData()),
              0);

    ASSERT_TRUE(QFile::remove(file));
    EXPECT_TRUE(descriptorTarget(reference->descriptor()).endsWith(QStringLiteral(" (deleted)")));
    EXPECT_EQ(reference->path(), QString());
    EXPECT_FALSE(reference->resolves());
    EXPECT_EQ(reference->identity(), identity);

    // An item really called "… (deleted)" is not mistaken for a deleted one.
    ASSERT_TRUE(writeFile(root + QStringLiteral("/kept (deleted)"), "x"));
    const auto oddName = FileReference::make(root + QStringLiteral("/kept (deleted)"));
    ASSERT_TRUE(oddName);
    EXPECT_EQ(oddName->path(), root + QStringLiteral("/kept (deleted)"));
}

TEST(FileReference, CopiesShareOneDescriptorClosedWithTheLastCopy) {
    const QString root = testRoot();
    ASSERT_TRUE(writeFile(root + QStringLiteral("/shared"), "x"));
    auto original = FileReference::make(root + QStringLiteral("/shared"));
    ASSERT_TRUE(original);
    const int fd = original->descriptor();
    auto copy = std::optional<FileReference>(*original);
    EXPECT_EQ(copy->descriptor(), fd);

    original.reset();
    ASSERT_TRUE(QFile::rename(root + QStringLiteral("/shared"), root + QStringLiteral("/moved")));
    EXPECT_EQ(copy->path(), root + QStringLiteral("/moved"));
    EXPECT_EQ(descriptorTarget(fd), root + QStringLiteral("/moved"));

    copy.reset();
    EXPECT_NE(descriptorTarget(fd), root + QStringLiteral("/moved"));
}

TEST(FileReferenceURL, EqualWhenAtTheSamePathOrTheSameGoneItem) {
    const QString root = testRoot();
    ASSERT_TRUE(writeFile(root + QStringLiteral("/a"), "x"));
    ASSERT_TRUE(writeFile(root + QStringLiteral("/b"), "x"));
    const auto a1 = FileReferenceURL::makeWithFilePathURL(QUrl::fromLocalFile(root + QStringLiteral("/a")));
    const auto a2 = FileReferenceURL::makeWithFilePathURL(QUrl::fromLocalFile(root + QStringLiteral("/a")));
    const auto b = FileReferenceURL::makeWithFilePathURL(QUrl::fromLocalFile(root + QStringLiteral("/b")));
    ASSERT_TRUE(a1 && a2 && b);
    EXPECT_EQ(Value(a1), Value(a2));
    EXPECT_EQ(a1->hash(), a2->hash());
    EXPECT_NE(Value(a1), Value(b));
    EXPECT_FALSE(FileReferenceURL::makeWithFilePathURL(QUrl::fromLocalFile(root + QStringLiteral("/c"))));

    ASSERT_TRUE(QFile::remove(root + QStringLiteral("/a")));
    ASSERT_TRUE(QFile::remove(root + QStringLiteral("/b")));
    EXPECT_EQ(Value(a1), Value(a2));
    EXPECT_EQ(a1->hash(), a2->hash());
    EXPECT_NE(Value(a1), Value(b));
}
