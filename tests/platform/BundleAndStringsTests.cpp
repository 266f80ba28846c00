#include "PlatformPrinters.h"
#include "platform/Bundle.h"
#include "platform/PropertyList.h"
#include "platform/StringsTable.h"
#include "testing/EnvironmentOverride.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QStringEncoder>

using namespace platform;
using namespace Qt::Literals::StringLiterals;

namespace {

QHash<QString, QString> parsed(const QByteArray& data) {
    Error error(QString(), 0);
    const auto table = StringsTable::parse(data, &error);
    EXPECT_TRUE(table.has_value()) << error.localizedDescription().toStdString();
    return table.value_or(QHash<QString, QString>());
}

} // namespace

TEST(StringsTableTests, ReadsCommentsEscapesBareWordsAndKeyOnlyEntries) {
    const auto table = parsed(R"(/* A comment
   over two lines */
"greeting" = "Hello, \"World\"";  // a trailing comment
"escapes" = "tab\there\nnew \\ \U00e9\UD83D\UDE00 \012end";
bare_word.key = other-value/path;
"alone";
"unicode" = "Grüße";
)");
    EXPECT_EQ(table.size(), 5);
    EXPECT_EQ(table.value(u"greeting"_s), u"Hello, \"World\""_s);
    EXPECT_EQ(table.value(u"escapes"_s), u"tab\there\nnew \\ é😀 \nend"_s);
    EXPECT_EQ(table.value(u"bare_word.key"_s), u"other-value/path"_s);
    EXPECT_EQ(table.value(u"alone"_s), u"alone"_s);
    EXPECT_EQ(table.value(u"unicode"_s), u"Grüße"_s);
}

TEST(StringsTableTests, ReadsUTF16WithAByteOrderMarkAndUTF8WithOne) {
    const QString text = u"\"title\" = \"Café ☕\";\n"_s;
    const QHash<QString, QString> expected{{u"title"_s, u"Café ☕"_s}};
    for (const auto encoding :
         {QStringConverter::Utf16LE, QStringConverter::Utf16BE, QStringConverter::Utf8}) {
        QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
        const QByteArray data = encoder(text);
        ASSERT_FALSE(encoder.hasError());
        EXPECT_EQ(parsed(data), expected) << "encoding " << int(encoding);
    }
}

TEST(StringsTableTests, MalformedTablesAreErrors) {
    const QByteArray broken[] = {
        "\"a\" = \"b\"",             // no semicolon
        "\"a\" \"b\";",              // no equals sign
        "\"a\" = \"unterminated;\n", // string never closed
        "= \"value\";",              // no key
        "\"a\" = ;",                 // no value
        "\"a\" = \"\\Uzz12\";",      // bad escape
    };
    for (const QByteArray& data : broken) {
        Error error(QString(), 0);
        EXPECT_FALSE(StringsTable::parse(data, &error).has_value()) << data.toStdString();
        EXPECT_EQ(error.domain(), NSCocoaErrorDomain) << data.toStdString();
    }
    Error error(QString(), 0);
    EXPECT_FALSE(StringsTable::parse("\"a\" = \"1\";\n\"b\" = \"2\";\n\"c\" = \"3\" \"d\";\n", &error));
    EXPECT_TRUE(error.localizedDescription().contains(u"line 3"_s))
        << error.localizedDescription().toStdString();
}

class BundleTests : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = testing_support::testRoot() + u"/Viewer.app"_s;
        const Value::Dictionary info{
            {"CFBundleIdentifier", "com.kestrel.tests.Viewer"},
            {"CFBundleExecutable", "Viewer"},
            {"CFBundleShortVersionString", "2.5"},
            {"KestrelFeatures", Value::Array{"sync", "share"}},
        };
        write("Contents/Info.plist", *PropertyList::write(info, PropertyList::Format::Binary));
        write("Contents/MacOS/Viewer", "#!/bin/sh\n");
        write("Contents/Resources/en.lproj/Localizable.strings",
              "\"hello\" = \"Hello\";\n\"only.en\" = \"English only\";\n");
        write("Contents/Resources/Base.lproj/Localizable.strings",
              "\"hello\" = \"Base hello\";\n\"only.base\" = \"Base only\";\n");
        write("Contents/Resources/fr.lproj/Localizable.strings", "\"hello\" = \"Bonjour\";\n");
        write("Contents/Resources/en.lproj/Menus.strings", "\"quit\" = \"Quit Viewer\";\n");
        for (const char* file :
             {"fr.lproj/icon.png", "en.lproj/icon.png", "Base.lproj/icon.png", "en.lproj/shared.txt",
              "Base.lproj/shared.txt", "Base.lproj/layout.xml", "plain.txt", "en.lproj/Help/index.html"}) {
            write(u"Contents/Resources/"_s + QLatin1String(file), file);
        }
        bundle_ = Bundle::bundleWithPath(path_);
        ASSERT_NE(bundle_, nullptr);
    }

    void write(const QString& relative, const QByteArray& data) {
        ASSERT_TRUE(testing_support::writeFile(path_ + QLatin1Char('/') + relative, data))
            << relative.toStdString();
    }
    QString resource(const QString& relative) const { return path_ + u"/Contents/Resources/"_s + relative; }

    // French first, then German from the locale, then the "en" every list ends with.
    testing_support::EnvironmentOverride locale_{
        {"LANGUAGE", "fr"}, {"LC_ALL", std::nullopt}, {"LC_MESSAGES", std::nullopt}, {"LANG", "de_DE.UTF-8"}};
    QString path_;
    std::shared_ptr<Bundle> bundle_;
};

TEST_F(BundleTests, InfoDictionaryAndLayout) {
    EXPECT_EQ(bundle_->bundlePath(), path_);
    EXPECT_EQ(Bundle::bundleWithPath(path_ + u"/"_s)->bundlePath(), path_);
    EXPECT_EQ(Bundle::bundleWithPath(path_ + u"/Missing"_s), nullptr);
    EXPECT_EQ(bundle_->bundleIdentifier(), u"com.kestrel.tests.Viewer"_s);
    EXPECT_EQ(bundle_->objectForInfoDictionaryKey(u"CFBundleShortVersionString"_s), Value("2.5"));
    EXPECT_EQ(bundle_->objectForInfoDictionaryKey(u"KestrelFeatures"_s), Value(QStringList{"sync", "share"}));
    EXPECT_TRUE(bundle_->objectForInfoDictionaryKey(u"NoSuchKey"_s).isNull());
    EXPECT_EQ(bundle_->executablePath(), path_ + u"/Contents/MacOS/Viewer"_s);
    EXPECT_EQ(bundle_->resourcePath(), path_ + u"/Contents/Resources"_s);
}

TEST_F(BundleTests, ResourcesAreLookedUpInThePreferredLanguagesFirst) {
    EXPECT_EQ(Bundle::preferredLocalizations(), (QStringList{"fr", "de-DE", "de", "en"}));
    EXPECT_EQ(bundle_->pathForResource(u"icon"_s, u"png"_s), resource("fr.lproj/icon.png"));
    EXPECT_EQ(bundle_->pathForResource(u"shared"_s, u"txt"_s), resource("en.lproj/shared.txt"));
    EXPECT_EQ(bundle_->pathForResource(u"layout"_s, u"xml"_s), resource("Base.lproj/layout.xml"));
    EXPECT_EQ(bundle_->pathForResource(u"plain"_s, u"txt"_s), resource("plain.txt"));
    EXPECT_EQ(bundle_->pathForResource(u"plain.txt"_s, QString()), resource("plain.txt"));
    EXPECT_EQ(bundle_->pathForResource(u"index"_s, u"html"_s, u"Help"_s),
              resource("en.lproj/Help/index.html"));
    EXPECT_EQ(bundle_->pathForResource(u"index"_s, u"html"_s), QString());
    EXPECT_EQ(bundle_->URLForResource(u"plain"_s, u"txt"_s), QUrl::fromLocalFile(resource("plain.txt")));
    EXPECT_TRUE(bundle_->URLForResource(u"missing"_s, u"txt"_s).isEmpty());
}

TEST_F(BundleTests, LocalizedStringsComeFromThePreferredTables) {
    EXPECT_EQ(bundle_->localizedStringForKey(u"hello"_s), u"Bonjour"_s);
    EXPECT_EQ(bundle_->localizedStringForKey(u"only.en"_s), u"English only"_s);
    EXPECT_EQ(bundle_->localizedStringForKey(u"only.base"_s), u"Base only"_s);
    EXPECT_EQ(bundle_->localizedStringForKey(u"missing"_s), u"missing"_s);
    EXPECT_EQ(bundle_->localizedStringForKey(u"missing"_s, u"Fallback"_s), u"Fallback"_s);
    EXPECT_EQ(bundle_->localizedStringForKey(u"hello"_s, u"Fallback"_s), u"Bonjour"_s);
    EXPECT_EQ(bundle_->localizedStringForKey(u"quit"_s, {}, u"Menus"_s), u"Quit Viewer"_s);
    EXPECT_EQ(bundle_->localizedStringForKey(u"hello"_s, {}, u"Menus"_s), u"hello"_s);
    EXPECT_EQ(bundle_->localizedStringForKey(u"quit"_s, {}, u"NoSuchTable"_s), u"quit"_s);
}
