#include "SpecificTools/AFXAppInstaller/AFXValidateApp.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "platform/CodeSigningTrust.h"
#include "platform/Paths.h"
#include "platform/SecurityStatus.h"
#include "platform/Tools.h"
#include "support/BRCodeSignatureChecker.h"
#include "testing/AppBundleMaker.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using testing_support::readFile;
using testing_support::runProgram;
using testing_support::testRoot;
using testing_support::writeFile;

namespace {

const QString kSigningDir = QStringLiteral(KESTREL_SIGNING_DIR);
const QString kTeamRequirement =
    QStringLiteral("anchor apple generic and certificate leaf[subject.OU] = \"QZ7K2M4W8R\"");

// Key and chain files of a signing identity.
struct Identity {
    QString key;
    QString chain;
};

class CodeSignatureTests : public ::testing::Test {
protected:
    void SetUp() override { trustDevelopmentRoot(); }

    static QString codesign() { return platform::Tools::directory() + "/kestrel-codesign"; }

    static Identity team() { return {kSigningDir + "/Team.key", kSigningDir + "/Team-chain.pem"}; }

    // A certificate for another team, issued by the build's development root.
    static Identity otherTeam() {
        const QString prefix = testRoot() + "/identities/OtherTeam";
        EXPECT_EQ(makeIdentity({"leaf", prefix, "/O=Elsewhere/OU=ZZ9Y8X7W6V/CN=Elsewhere (ZZ9Y8X7W6V)",
                                kSigningDir + "/DevelopmentRoot"}),
                  0);
        return {prefix + ".key", prefix + "-chain.pem"};
    }

    // The team's unit, but from a root nobody installed.
    static Identity untrusted() {
        const QString root = testRoot() + "/identities/StrangeRoot";
        const QString prefix = testRoot() + "/identities/Impostor";
        EXPECT_EQ(makeIdentity({"root", root, "/O=Strange/CN=Strange Root"}), 0);
        EXPECT_EQ(makeIdentity({"leaf", prefix, "/O=Brindle/OU=QZ7K2M4W8R/CN=Impostor (QZ7K2M4W8R)", root}),
                  0);
        return {prefix + ".key", prefix + "-chain.pem"};
    }

    static int makeIdentity(const QStringList& arguments) {
        const auto result = runProgram(QStringLiteral(KESTREL_MAKE_SIGNING_IDENTITY), arguments);
        EXPECT_EQ(result.status, 0) << result.errors.toStdString();
        return result.status;
    }

    static QString trustedRootFile() {
        return platform::Paths::resolve(platform::CodeSigningTrust::trustedRootsFolder) +
               "/DevelopmentRoot.pem";
    }

    static void trustDevelopmentRoot() {
        QDir().mkpath(QFileInfo(trustedRootFile()).path());
        QFile::remove(trustedRootFile());
        ASSERT_TRUE(QFile::copy(kSigningDir + "/DevelopmentRoot.pem", trustedRootFile()));
    }

    // An app with resources, a link, a nested framework and a nested helper app.
    static QString makeApp(const QString& name = "Notes") {
        const QString app = testRoot() + "/Apps/" + name + ".app";
        EXPECT_TRUE(testing_support::makeAppBundle(
            app, testing_support::appInfo("com.brindle." + name.toLower()), "#!/bin/sh\nexit 0\n"));
        EXPECT_TRUE(writeFile(app + "/Contents/Resources/en.lproj/Main.strings", "\"Hello\" = \"Hello\";\n"));
        EXPECT_TRUE(writeFile(app + "/Contents/Resources/Data/table.bin", QByteArray(70000, '\x07')));
        EXPECT_EQ(::symlink("en.lproj", QFile::encodeName(app + "/Contents/Resources/Current").constData()),
                  0);
        EXPECT_TRUE(writeFile(app + "/Contents/Frameworks/Kit.framework/Resources/Info.plist",
                              "<plist version=\"1.0\"><dict/></plist>"));
        EXPECT_TRUE(writeFile(app + "/Contents/Frameworks/Kit.framework/Kit", "kit code"));
        EXPECT_TRUE(testing_support::makeAppBundle(app + "/Contents/Library/LaunchServices/Helper.app",
                                                   testing_support::appInfo("com.brindle.helper"),
                                                   "#!/bin/sh\n"));
        return app;
    }

    static QString writeEntitlements(const QString& name, const QByteArray& keys) {
        const QString path = testRoot() + "/" + name + ".entitlements";
        EXPECT_TRUE(writeFile(path, "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>" + keys +
                                        "</dict></plist>"));
        return path;
    }

    static void sign(const QString& app, const Identity& identity, const QString& entitlements = {}) {
        QStringList arguments{"sign", "--key", identity.key, "--chain", identity.chain};
        if (!entitlements.isEmpty()) {
            arguments << "--entitlements" << entitlements;
        }
        const auto result = runProgram(codesign(), arguments << app);
        ASSERT_EQ(result.status, 0) << result.errors.toStdString();
    }

    static platform::Error check(const QString& app,
                                 const std::optional<QString>& requirement = std::nullopt) {
        platform::Error error(QString(), 0);
        const bool valid =
            BRCodeSignatureChecker::codeSignatureAtURL(QUrl::fromLocalFile(app), requirement, &error);
        EXPECT_EQ(valid, error.domain().isEmpty());
        return error;
    }

    static QStringList pathsUnder(const platform::Error& error, const QString& key, const QString& app) {
        QStringList paths;
        const platform::Value value = error.userInfo().value(key);
        const platform::Value::Array urls =
            value.kind() == platform::Value::Kind::URL ? platform::Value::Array{value} : value.toArray();
        for (const platform::Value& url : urls) {
            paths << QDir(app).relativeFilePath(url.toURL().toLocalFile());
        }
        return paths;
    }
};

TEST_F(CodeSignatureTests, ChangesAfterSigningFailWithTheStatusThatNamesThem) {
    struct Case {
        const char* name;
        std::function<void(const QString& app)> change;
        std::int64_t status;
        QString key;
        QStringList paths;
    };
    const QString table = "Contents/Resources/Data/table.bin";
    const std::vector<Case> cases{
        {"untouched", [](const QString&) {}, 0, {}, {}},
        {"one byte changed",
         [&](const QString& app) {
             QFile file(app + "/" + table);
             ASSERT_TRUE(file.open(QIODevice::ReadWrite));
             file.seek(40000);
             file.write("\x08", 1);
         },
         platform::errSecCSBadResource,
         platform::kSecCFErrorResourceAltered,
         {table}},
        {"file added",
         [](const QString& app) { ASSERT_TRUE(writeFile(app + "/Contents/Resources/extra.txt", "x")); },
         platform::errSecCSBadResource,
         platform::kSecCFErrorResourceAdded,
         {"Contents/Resources/extra.txt"}},
        {"file removed",
         [](const QString& app) {
             ASSERT_TRUE(QFile::remove(app + "/Contents/Resources/en.lproj/Main.strings"));
         },
         platform::errSecCSBadResource,
         platform::kSecCFErrorResourceMissing,
         {"Contents/Resources/en.lproj/Main.strings"}},
        {"link retargeted inside",
         [](const QString& app) {
             const QByteArray link = QFile::encodeName(app + "/Contents/Resources/Current");
             ASSERT_EQ(::unlink(link.constData()), 0);
             ASSERT_EQ(::symlink("Data", link.constData()), 0);
         },
         platform::errSecCSBadResource,
         platform::kSecCFErrorResourceAltered,
         {"Contents/Resources/Current"}},
        {"link retargeted outside",
         [](const QString& app) {
             const QByteArray link = QFile::encodeName(app + "/Contents/Resources/Current");
             ASSERT_EQ(::unlink(link.constData()), 0);
             ASSERT_EQ(::symlink("../../../../../../etc", link.constData()), 0);
         },
         platform::errSecCSInvalidSymlink,
         platform::kSecCFErrorPath,
         {"Contents/Resources/Current"}},
        {"links leaving through another link",
         [](const QString& app) {
             // Each text stays inside; on disk the second leads out of the bundle.
             const QByteArray up = QFile::encodeName(app + "/Contents/Resources/up");
             const QByteArray out = QFile::encodeName(app + "/Contents/Resources/out");
             ASSERT_EQ(::symlink("../..", up.constData()), 0);
             ASSERT_EQ(::symlink("up/..", out.constData()), 0);
         },
         platform::errSecCSInvalidSymlink,
         platform::kSecCFErrorPath,
         {"Contents/Resources/out"}},
        {"pipe put in place of a file",
         [&](const QString& app) {
             // Checking must not wait for a writer that never comes.
             ASSERT_TRUE(QFile::remove(app + "/" + table));
             ASSERT_EQ(::mkfifo(QFile::encodeName(app + "/" + table).constData(), 0644), 0);
         },
         platform::errSecCSBadResource,
         platform::kSecCFErrorPath,
         {table}},
        {"nested framework modified",
         [](const QString& app) {
             ASSERT_TRUE(writeFile(app + "/Contents/Frameworks/Kit.framework/Kit", "evil"));
         },
         platform::errSecCSBadNestedCode,
         platform::kSecCFErrorPath,
         {"Contents/Frameworks/Kit.framework"}},
        {"nested app re-signed by another team",
         [](const QString& app) { sign(app + "/Contents/Library/LaunchServices/Helper.app", otherTeam()); },
         platform::errSecCSBadNestedCode,
         platform::kSecCFErrorPath,
         {"Contents/Library/LaunchServices/Helper.app"}},
        {"sealed list edited",
         [](const QString& app) {
             const QString list = app + "/Contents/_CodeSignature/CodeResources";
             QByteArray text = readFile(list);
             text.replace("com.brindle.", "com.elsewhere.");
             ASSERT_TRUE(writeFile(list, text));
         },
         platform::errSecCSSignatureFailed,
         {},
         {}},
        {"signature removed",
         [](const QString& app) { ASSERT_TRUE(QDir(app + "/Contents/_CodeSignature").removeRecursively()); },
         platform::errSecCSUnsigned,
         {},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString app = makeApp(QString::fromLatin1(c.name).replace(' ', '-'));
        sign(app, team());
        c.change(app);

        const platform::Error error = check(app, kTeamRequirement);
        EXPECT_EQ(error.code(), c.status);
        if (c.status == 0) {
            continue;
        }
        EXPECT_EQ(error.domain(), platform::NSOSStatusErrorDomain);
        EXPECT_EQ(error.localizedDescription(), platform::SecCopyErrorMessageString(c.status).value());
        if (!c.key.isEmpty()) {
            EXPECT_EQ(pathsUnder(error, c.key, app), c.paths) << error.description().toStdString();
        }
        platform::Error validation(QString(), 0);
        EXPECT_FALSE(AFXValidateApp(QUrl::fromLocalFile(app), AFXValidationAppleGeneric, &validation));
        EXPECT_EQ(validation.code(), AFXErrorCodeAppSignatureCheckFailed);
        ASSERT_TRUE(validation.underlyingError());
        EXPECT_EQ(validation.underlyingError()->code(), c.status);
    }
}

TEST_F(CodeSignatureTests, ValidationLevelsFollowWhoSignedAndWhichRootsAreTrusted) {
    struct Case {
        const char* name;
        std::optional<Identity> identity;
        std::int64_t appleGeneric;
        std::int64_t team;
    };
    const std::vector<Case> cases{
        {"team", team(), 0, 0},
        {"other team", otherTeam(), 0, platform::errSecCSReqFailed},
        {"untrusted root", untrusted(), platform::errSecCSReqFailed, platform::errSecCSReqFailed},
        {"unsigned", std::nullopt, platform::errSecCSUnsigned, platform::errSecCSUnsigned},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString app = makeApp(QString::fromLatin1(c.name).replace(' ', '-'));
        if (c.identity) {
            sign(app, *c.identity);
        }
        const QUrl url = QUrl::fromLocalFile(app);
        EXPECT_EQ(BRCodeSignatureChecker::codeSignatureIsValidAtURL(url), c.identity.has_value())
            << "an intact signature is valid whoever made it";
        platform::Error untouched(QString("untouched"), 1);
        EXPECT_TRUE(AFXValidateApp(url, AFXValidationNone, &untouched));
        EXPECT_EQ(untouched.domain(), "untouched");
        for (const auto& [level, status] :
             {std::pair{AFXValidationAppleGeneric, c.appleGeneric}, std::pair{AFXValidationTeam, c.team}}) {
            platform::Error error(QString(), 0);
            EXPECT_EQ(AFXValidateApp(url, level, &error), status == 0) << "level " << level;
            if (status != 0) {
                EXPECT_EQ(error, afx_appSignatureCheckFailedWithError(error.underlyingError()));
                EXPECT_EQ(error.localizedDescription(), "Application signature could not be verified.");
                ASSERT_TRUE(error.underlyingError());
                EXPECT_EQ(error.underlyingError()->domain(), platform::NSOSStatusErrorDomain);
                EXPECT_EQ(error.underlyingError()->code(), status) << "level " << level;
            }
        }
    }

    // The development root counts only in a root that installs it.
    const QString app = makeApp("Team-Untrusted");
    sign(app, team());
    ASSERT_TRUE(QFile::remove(trustedRootFile()));
    EXPECT_EQ(check(app, "anchor apple generic").code(), platform::errSecCSReqFailed);
    EXPECT_TRUE(BRCodeSignatureChecker::codeSignatureIsValidAtURL(QUrl::fromLocalFile(app)));
}

TEST_F(CodeSignatureTests, EntitlementsAndSigningInformationAreSealed) {
    const QString sandboxed = makeApp("Sandboxed");
    sign(sandboxed, team(),
         writeEntitlements("sandbox", "<key>com.apple.security.app-sandbox</key><true/>"
                                      "<key>com.apple.security.network.client</key><true/>"));
    const QString plain = makeApp("Plain");
    sign(plain, otherTeam());

    EXPECT_TRUE(BRCodeSignatureChecker::isApplicationSandboxedAtURL(QUrl::fromLocalFile(sandboxed)));
    EXPECT_FALSE(BRCodeSignatureChecker::isApplicationSandboxedAtURL(QUrl::fromLocalFile(plain)));
    EXPECT_EQ(check(sandboxed,
                    "(certificate leaf[subject.OU] = \"NOBODY\" or "
                    "entitlement[\"com.apple.security.network.client\"] exists) and anchor apple generic")
                  .code(),
              0);
    EXPECT_EQ(check(plain, "entitlement[\"com.apple.security.network.client\"] exists or "
                           "certificate leaf[subject.OU] = \"QZ7K2M4W8R\"")
                  .code(),
              platform::errSecCSReqFailed);

    const auto info = BRCodeSignatureChecker::codeSignatureInfoAtURL(QUrl::fromLocalFile(sandboxed));
    ASSERT_TRUE(info);
    EXPECT_EQ((*info)["identifier"].toString(), "com.brindle.sandboxed");
    EXPECT_EQ((*info)["teamid"].toString(), "QZ7K2M4W8R");
    EXPECT_EQ((*info)["certificates"].toArray().size(), 2);
    EXPECT_TRUE((*info)["certificate-subjects"].toStringList().first().contains("OU=QZ7K2M4W8R"));
    EXPECT_TRUE((*info)["entitlements-dict"].toDictionary()["com.apple.security.app-sandbox"].toBool());
    EXPECT_EQ((*info)["designated-requirement"].toString(), kTeamRequirement);
    EXPECT_EQ((*info)["main-executable"].toURL().toLocalFile(), sandboxed + "/Contents/MacOS/Recorder");

    // Entitlements cannot be swapped after signing: they are part of the signed list.
    const QString list = sandboxed + "/Contents/_CodeSignature/CodeResources";
    QByteArray text = readFile(list);
    text.replace("com.apple.security.app-sandbox", "com.apple.security.app-sandbax");
    ASSERT_TRUE(writeFile(list, text));
    EXPECT_FALSE(BRCodeSignatureChecker::isApplicationSandboxedAtURL(QUrl::fromLocalFile(sandboxed)));
    EXPECT_EQ(check(sandboxed).code(), platform::errSecCSSignatureFailed);

    const auto unsignedInfo =
        BRCodeSignatureChecker::codeSignatureInfoAtURL(QUrl::fromLocalFile(makeApp("Bare")));
    ASSERT_TRUE(unsignedInfo);
    EXPECT_FALSE(unsignedInfo->contains("identifier"));
}

TEST_F(CodeSignatureTests, RequirementsThatDoNotCompileFailBeforeTheSignatureIsRead) {
    const QString app = makeApp(); // unsigned: a checked signature would fail with errSecCSUnsigned
    const std::vector<std::pair<QString, QString>> cases{
        {"anchor apple", "line 1, column 13: expected 'generic', found the end of the requirement"},
        {"anchor apple generic and",
         "line 1, column 25: expected 'anchor', 'certificate', 'entitlement' or '(', "
         "found the end of the requirement"},
        {"certificate leaf[subject.CN] = \"x\"",
         "line 1, column 18: expected 'subject.OU', found 'subject.CN'"},
        {"certificate leaf[subject.OU] = QZ7K2M4W8R",
         "line 1, column 32: expected a quoted string, found 'QZ7K2M4W8R'"},
        {"(anchor apple generic", "line 1, column 22: expected ')', found the end of the requirement"},
        {"anchor apple generic\nor entitlement[\"x\"]",
         "line 2, column 20: expected 'exists', found the end of the requirement"},
        {"entitlement[\"x] exists", "line 1, column 13: unterminated string"},
        {"anchor apple generic; identifier \"x\"", "line 1, column 21: unexpected character ';'"},
        {"anchor apple generic identifier",
         "line 1, column 22: expected 'and', 'or' or the end of the requirement, "
         "found 'identifier'"},
    };
    for (const auto& [text, syntax] : cases) {
        SCOPED_TRACE(text.toStdString());
        const platform::Error error = check(app, text);
        EXPECT_EQ(error.code(), platform::errSecCSReqInvalid);
        EXPECT_EQ(error.localizedDescription(), "invalid or corrupted code requirement(s)");
        EXPECT_EQ(error.userInfo().value(platform::kSecCFErrorRequirementSyntax).toString(), syntax);
    }
    EXPECT_EQ(check(app, QString()).code(), platform::errSecCSUnsigned)
        << "an empty requirement is no requirement";
}

TEST_F(CodeSignatureTests, MissingCodeIsNotFound) {
    const QUrl missing = QUrl::fromLocalFile(testRoot() + "/Apps/Nowhere.app");
    EXPECT_FALSE(BRCodeSignatureChecker::codeSignatureIsValidAtURL(missing));
    EXPECT_FALSE(BRCodeSignatureChecker::codeSignatureInfoAtURL(missing));
    platform::Error error(QString(), 0);
    EXPECT_FALSE(BRCodeSignatureChecker::codeSignatureAtURL(missing, kTeamRequirement, &error));
    EXPECT_EQ(error.code(), platform::errSecCSStaticCodeNotFound);
    EXPECT_EQ(error.localizedDescription(), "cannot find code object on disk");
}

TEST_F(CodeSignatureTests, TheToolsSignaturesAreStandardCMSAndItsExitStatusesTellTheOutcome) {
    const QString app = makeApp();
    sign(app, team());
    const QString signatureFolder = app + "/Contents/_CodeSignature";
    const auto verified =
        runProgram(QStandardPaths::findExecutable("openssl"),
                   {"cms", "-verify", "-binary", "-inform", "DER", "-in", signatureFolder + "/CodeSignature",
                    "-content", signatureFolder + "/CodeResources", "-CAfile",
                    kSigningDir + "/DevelopmentRoot.pem", "-purpose", "any", "-out", "/dev/null"});
    EXPECT_EQ(verified.status, 0) << verified.errors.toStdString();

    const auto valid = runProgram(codesign(), {"verify", "--requirement", kTeamRequirement, app});
    EXPECT_EQ(valid.status, 0) << valid.errors.toStdString();

    ASSERT_TRUE(writeFile(app + "/Contents/Resources/en.lproj/Main.strings", "changed"));
    const auto modified = runProgram(codesign(), {"verify", app});
    EXPECT_EQ(modified.status, 1);
    EXPECT_TRUE(modified.errors.contains("a sealed resource is missing or invalid (-67054)"))
        << modified.errors.toStdString();
    EXPECT_TRUE(modified.errors.contains("modified: " + QFile::encodeName(app) +
                                         "/Contents/Resources/en.lproj/Main.strings"));

    const auto badRequirement = runProgram(codesign(), {"verify", "--requirement", "anchor", app});
    EXPECT_EQ(badRequirement.status, 2);
    EXPECT_TRUE(badRequirement.errors.contains("line 1, column 7: expected 'apple'"))
        << badRequirement.errors.toStdString();

    const auto wrongKey = runProgram(
        codesign(), {"sign", "--key", kSigningDir + "/DevelopmentRoot.key", "--chain", team().chain, app});
    EXPECT_EQ(wrongKey.status, 2);
    EXPECT_TRUE(wrongKey.errors.contains("does not belong")) << wrongKey.errors.toStdString();
}

TEST_F(CodeSignatureTests, UnknownValidationLevelStopsTheProcess) {
    const QUrl app = QUrl::fromLocalFile(testRoot() + "/Apps/Notes.app");
    EXPECT_DEATH(AFXValidateApp(app, static_cast<AFXValidation>(3)), "We should not get here");
}

} // namespace
