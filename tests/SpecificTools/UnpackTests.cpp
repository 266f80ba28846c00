#include "SpecificTools/AFXAppInstaller/AFXRemoveFromQuarantine.h"
#include "SpecificTools/AFXAppInstaller/AFXUnpack.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "platform/ExtendedAttributes.h"
#include "testing/TestSupport.h"
#include "testing/ZipMaker.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

using testing_support::testRoot;
using testing_support::ZipEntry;

TEST(UnpackTests, TheFirstBundleIsFoundEvenOneFolderDown) {
    const QString archive = testRoot() + "/Tool.zip";
    ASSERT_TRUE(testing_support::makeZipWithPython(
        archive, {{"Tool Folder/", {}, 0755, {}},
                  {"Tool Folder/.Hidden.app/x", "hidden", 0644, {}},
                  {"Tool Folder/Read Me.txt", "read me", 0644, {}},
                  {"Tool Folder/Tool.app/Contents/Inner.app/x", "i", 0644, {}},
                  {"Tool Folder/Tool.app/Contents/Info.plist", "p", 0644, {}}}));
    QList<double> progress;
    platform::Error error(QString(), 0);

    const std::optional<QUrl> app = AFXUnpack(
        QUrl::fromLocalFile(archive), [&](double p) { progress.append(p); }, &error);

    ASSERT_TRUE(app);
    EXPECT_EQ(QFileInfo(app->toLocalFile()).fileName(), "Tool.app");
    EXPECT_EQ(QFileInfo(app->toLocalFile()).dir().dirName(), "Tool Folder");
    EXPECT_TRUE(error.domain().isEmpty()) << "a success leaves the error alone";
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_DOUBLE_EQ(progress.last(), 1.0);
}

TEST(UnpackTests, NoBundleOrABadArchiveIsTheUnpackFailure) {
    const QString withoutApp = testRoot() + "/Docs.zip";
    ASSERT_TRUE(testing_support::makeZipWithPython(withoutApp, {{"Docs/manual.txt", "m", 0644, {}}}));
    ASSERT_TRUE(testing_support::writeFile(testRoot() + "/broken.zip", "not an archive at all"));

    for (const QString& archive : {withoutApp, testRoot() + "/broken.zip"}) {
        platform::Error error(QString(), 0);
        EXPECT_FALSE(AFXUnpack(
            QUrl::fromLocalFile(archive), [](double) {}, &error))
            << archive.toStdString();
        EXPECT_EQ(error, afx_didFailToUnpackApp()) << archive.toStdString();
        EXPECT_EQ(error.code(), -401041);
    }
}

TEST(UnpackTests, QuarantineIsRemovedFromTheWholeBundleAndMissingItemsAreNoFailure) {
    const QString app = testRoot() + "/Applications/Kestrel.app";
    ASSERT_TRUE(testing_support::writeFile(app + "/Contents/MacOS/Kestrel", "binary"));
    for (const QString& item : {app, app + "/Contents/MacOS/Kestrel"}) {
        ASSERT_TRUE(platform::ExtendedAttributes::set(item, "com.apple.quarantine", "0083;download"));
        ASSERT_TRUE(platform::ExtendedAttributes::set(item, "com.kestrel.keep", "yes"));
    }

    EXPECT_TRUE(AFXRemoveFromQuarantine(app));

    for (const QString& item : {app, app + "/Contents/MacOS/Kestrel"}) {
        EXPECT_FALSE(platform::ExtendedAttributes::get(item, "com.apple.quarantine")) << item.toStdString();
        EXPECT_EQ(platform::ExtendedAttributes::get(item, "com.kestrel.keep"), QByteArray("yes"));
    }
    std::optional<platform::Error> error = afx_didFailToUnpackApp();
    EXPECT_TRUE(AFXRemoveFromQuarantine(testRoot() + "/missing.app", &error));
    EXPECT_FALSE(error) << "a failed removal clears a given error";
}
