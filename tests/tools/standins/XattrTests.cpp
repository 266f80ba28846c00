#include "ToolRun.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <cerrno>

#include <sys/xattr.h>
#include <unistd.h>

using testing_support::testRoot;
using testing_support::ToolRun;
using testing_support::writeFile;

namespace {

const QByteArray kQuarantine = "com.apple.quarantine";

ToolRun xattr(const QStringList& arguments) {
    return ToolRun::run(ToolRun::standIn(QStringLiteral("xattr")), arguments);
}

// Straight through the system calls, so a wrong namespace in the tool shows.
bool setRaw(const QString& path, const QByteArray& name, const QByteArray& value) {
    const QByteArray full = "user." + name;
    return ::setxattr(QFile::encodeName(path).constData(), full.constData(), value.constData(),
                      static_cast<size_t>(value.size()), 0) == 0;
}

bool hasRaw(const QString& path, const QByteArray& name) {
    const QByteArray full = "user." + name;
    return ::getxattr(QFile::encodeName(path).constData(), full.constData(), nullptr, 0) >= 0;
}

} // namespace

TEST(Xattr, RemovesAnAttributeThroughATreeWithoutFollowingLinks) {
    const QString root = testRoot();
    const QString app = root + QStringLiteral("/Orbit Notes.app");
    const QStringList items{app,
                            app + QStringLiteral("/Contents"),
                            app + QStringLiteral("/Contents/Info.plist"),
                            app + QStringLiteral("/Contents/MacOS"),
                            app + QStringLiteral("/Contents/MacOS/Orbit Notes"),
                            app + QStringLiteral("/Contents/Resources/deep/er/file")};
    ASSERT_TRUE(writeFile(items.last(), "x"));
    ASSERT_TRUE(writeFile(items[2], "<plist/>"));
    ASSERT_TRUE(writeFile(items[4], "binary"));
    const QString outsideFile = root + QStringLiteral("/outside.txt");
    const QString outsideFolder = root + QStringLiteral("/outside");
    ASSERT_TRUE(writeFile(outsideFile, "o"));
    ASSERT_TRUE(writeFile(outsideFolder + QStringLiteral("/inner"), "i"));
    ASSERT_EQ(::symlink("../../outside.txt", QFile::encodeName(app + "/Contents/file-link").constData()), 0);
    ASSERT_EQ(::symlink("../../outside", QFile::encodeName(app + "/Contents/folder-link").constData()), 0);

    const QStringList outsiders{outsideFile, outsideFolder, outsideFolder + QStringLiteral("/inner")};
    for (const QString& path : items + outsiders) {
        // Test roots live in the temporary folder: it must take user attributes for this to mean anything.
        ASSERT_TRUE(setRaw(path, kQuarantine, "0081;5f000000;Kestrel;"))
            << path.toStdString() << ": " << errno;
    }
    ASSERT_TRUE(setRaw(items[2], "com.kestrel.kept", "1"));

    for (int pass = 0; pass < 2; ++pass) { // the second finds nothing to remove, which is no error
        const ToolRun run = xattr({QStringLiteral("-rd"), QString::fromLatin1(kQuarantine), app});
        EXPECT_EQ(run.status, 0) << run.errors.toStdString();
        EXPECT_EQ(run.errors, QByteArray());
        for (const QString& path : items) {
            EXPECT_FALSE(hasRaw(path, kQuarantine)) << path.toStdString();
        }
        for (const QString& path : outsiders) {
            EXPECT_TRUE(hasRaw(path, kQuarantine)) << path.toStdString();
        }
        EXPECT_TRUE(hasRaw(items[2], "com.kestrel.kept"));
    }

    const QString missing = root + QStringLiteral("/missing.app");
    const ToolRun run = xattr(
        {QStringLiteral("-r"), QStringLiteral("-d"), QString::fromLatin1(kQuarantine), missing, outsideFile});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors, "xattr: No such file: " + QFile::encodeName(missing) + "\n");
    EXPECT_FALSE(hasRaw(outsideFile, kQuarantine)) << "the paths after a missing one are still done";
}

TEST(Xattr, WritesPrintsListsAndDeletesOneFilesAttribute) {
    const QString file = testRoot() + QStringLiteral("/Orbit Notes.dmg");
    ASSERT_TRUE(writeFile(file, "image"));
    const QString name = QString::fromLatin1(kQuarantine);

    ToolRun run = xattr({QStringLiteral("-w"), name, QStringLiteral("0081;5f000000;Kestrel;"), file});
    ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    EXPECT_TRUE(hasRaw(file, kQuarantine));
    ASSERT_TRUE(setRaw(file, "com.kestrel.other", "2"));

    run = xattr({QStringLiteral("-p"), name, file});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "0081;5f000000;Kestrel;\n");

    run = xattr({file});
    EXPECT_EQ(run.status, 0);
    QStringList listed = QString::fromUtf8(run.output).split('\n', Qt::SkipEmptyParts);
    listed.sort();
    EXPECT_EQ(listed,
              (QStringList{QStringLiteral("com.apple.quarantine"), QStringLiteral("com.kestrel.other")}));

    for (int pass = 0; pass < 2; ++pass) {
        run = xattr({QStringLiteral("-d"), name, file});
        EXPECT_EQ(run.status, 0) << run.errors.toStdString();
        EXPECT_FALSE(hasRaw(file, kQuarantine));
        EXPECT_TRUE(hasRaw(file, "com.kestrel.other"));
    }

    run = xattr({QStringLiteral("-p"), name, file});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, QByteArray());
    EXPECT_EQ(run.errors, "xattr: " + QFile::encodeName(file) + ": No such xattr: com.apple.quarantine\n");

    const QString missing = testRoot() + QStringLiteral("/missing");
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("-d"), name, missing},
          QStringList{QStringLiteral("-w"), name, QStringLiteral("v"), missing}, QStringList{missing}}) {
        run = xattr(arguments);
        EXPECT_EQ(run.status, 1) << arguments.join(' ').toStdString();
        EXPECT_EQ(run.errors, "xattr: No such file: " + QFile::encodeName(missing) + "\n");
    }
    for (const QStringList& arguments :
         {QStringList{}, QStringList{QStringLiteral("-d"), name},
          QStringList{QStringLiteral("-w"), name, file}, QStringList{QStringLiteral("-dp"), name, file},
          QStringList{QStringLiteral("-x"), file}}) {
        run = xattr(arguments);
        EXPECT_EQ(run.status, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.errors.contains("usage: xattr")) << run.errors.toStdString();
    }
}
