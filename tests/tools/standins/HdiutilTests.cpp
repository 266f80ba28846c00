#include "ToolRun.h"
#include "TreeDescription.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

using testing_support::testRoot;
using testing_support::ToolRun;
using testing_support::TreeDescription;
using testing_support::writeFile;

namespace {

ToolRun hdiutil(const QStringList& arguments) {
    return ToolRun::run(ToolRun::standIn(QStringLiteral("hdiutil")), arguments);
}

QString makeVolume() {
    const QString volume = testRoot() + QStringLiteral("/volume");
    EXPECT_TRUE(
        writeFile(volume + QStringLiteral("/Orbit Notes.app/Contents/MacOS/Orbit Notes"), "binary\n"));
    EXPECT_TRUE(writeFile(volume + QStringLiteral("/Orbit Notes.app/Contents/Info.plist"), "<plist/>\n"));
    EXPECT_TRUE(writeFile(volume + QStringLiteral("/Read Me.txt"), QByteArray(100 * 1024, 'r')));
    return volume;
}

} // namespace

// Images are an ISO 9660 image (written by libarchive's bsdtar) and a 7z
// container: formats 7-Zip reads that can be made here.
TEST(Hdiutil, AttachesAnImageAndDetachesIt) {
    const QString volume = makeVolume();
    const auto expected = TreeDescription::of(volume, TreeDescription::Detail::ContentsOnly);
    const QString iso = testRoot() + QStringLiteral("/Orbit Notes.iso");
    const QString container = testRoot() + QStringLiteral("/Orbit Notes.7z");
    ASSERT_EQ(ToolRun::run(ToolRun::program(QStringLiteral("bsdtar")),
                           {QStringLiteral("--format"), QStringLiteral("iso9660"), QStringLiteral("-cf"), iso,
                            QStringLiteral("-C"), volume, QStringLiteral(".")})
                  .status,
              0);
    ASSERT_EQ(
        ToolRun::run(ToolRun::program(QStringLiteral("7z")),
                     {QStringLiteral("a"), QStringLiteral("-bd"), container, volume + QStringLiteral("/*")})
            .status,
        0);
    const QString existingEmpty = testRoot() + QStringLiteral("/Volumes/empty");
    ASSERT_TRUE(QDir().mkpath(existingEmpty));

    const QList<std::pair<QStringList, QString>> attaches{
        {{QStringLiteral("attach"), iso, QStringLiteral("-mountpoint"),
          testRoot() + QStringLiteral("/Volumes/iso/Orbit Notes"), QStringLiteral("-nobrowse"),
          QStringLiteral("-noautoopen")},
         testRoot() + QStringLiteral("/Volumes/iso/Orbit Notes")},
        {{QStringLiteral("attach"), container, QStringLiteral("-noautoopen"), QStringLiteral("-nobrowse"),
          QStringLiteral("-mountpoint"), existingEmpty},
         existingEmpty},
    };
    for (const auto& [arguments, mountPoint] : attaches) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        ToolRun run = hdiutil(arguments);
        ASSERT_EQ(run.status, 0) << run.errors.toStdString();
        EXPECT_EQ(TreeDescription::of(mountPoint, TreeDescription::Detail::ContentsOnly), expected);

        run = hdiutil({QStringLiteral("detach"), mountPoint, QStringLiteral("-force")});
        EXPECT_EQ(run.status, 0) << run.errors.toStdString();
        EXPECT_FALSE(QFileInfo::exists(mountPoint));

        run = hdiutil({QStringLiteral("detach"), mountPoint});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.errors, "hdiutil: detach failed - No such file or directory\n");
    }
}

TEST(Hdiutil, FailedAttachLeavesTheMountPointAsItWas) {
    const QString junk = testRoot() + QStringLiteral("/junk.dmg");
    ASSERT_TRUE(writeFile(junk, QByteArray(64 * 1024, '\x5a')));
    const QString fresh = testRoot() + QStringLiteral("/Volumes/fresh/Orbit Notes");

    ToolRun run = hdiutil({QStringLiteral("attach"), testRoot() + QStringLiteral("/missing.dmg"),
                           QStringLiteral("-mountpoint"), fresh, QStringLiteral("-nobrowse")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors, "hdiutil: attach failed - No such file or directory\n");
    EXPECT_FALSE(QFileInfo::exists(testRoot() + QStringLiteral("/Volumes")));

    run = hdiutil({QStringLiteral("attach"), junk, QStringLiteral("-mountpoint"), fresh});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors, "hdiutil: attach failed - image not recognized\n");
    EXPECT_FALSE(QFileInfo::exists(testRoot() + QStringLiteral("/Volumes")));

    const QString occupied = testRoot() + QStringLiteral("/occupied");
    ASSERT_TRUE(writeFile(occupied + QStringLiteral("/mine.txt"), "mine"));
    const QString iso = testRoot() + QStringLiteral("/image.iso");
    ASSERT_EQ(ToolRun::run(ToolRun::program(QStringLiteral("bsdtar")),
                           {QStringLiteral("--format"), QStringLiteral("iso9660"), QStringLiteral("-cf"), iso,
                            QStringLiteral("-C"), occupied, QStringLiteral(".")})
                  .status,
              0);
    run = hdiutil({QStringLiteral("attach"), iso, QStringLiteral("-mountpoint"), occupied});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.errors.startsWith("hdiutil: attach failed - ")) << run.errors.toStdString();
    EXPECT_EQ(QDir(occupied).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"mine.txt"});

    for (const QStringList& arguments :
         {QStringList{QStringLiteral("attach"), iso},
          QStringList{QStringLiteral("attach"), QStringLiteral("-mountpoint")},
          QStringList{QStringLiteral("detach")}, QStringList{QStringLiteral("convert"), iso}}) {
        run = hdiutil(arguments);
        EXPECT_EQ(run.status, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.errors.contains("usage: hdiutil")) << run.errors.toStdString();
    }
}
