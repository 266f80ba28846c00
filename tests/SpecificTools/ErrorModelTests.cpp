#include "../support/LogCapture.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Model/AFXCustomerURLs.h"
#include "support/BRErrorRecovery.h"
#include "testing/EnvironmentOverride.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

using platform::Error;
using testing_support::LoggersRemover;
using testing_support::RecordingLogger;

namespace {

QString textOf(const Error& error, const QString& key) {
    return error.userInfo().value(key).toString();
}

void expectTexts(const Error& error, const QString& description, const QString& suggestion) {
    EXPECT_EQ(textOf(error, platform::NSLocalizedDescriptionKey), description);
    EXPECT_EQ(error.localizedRecoverySuggestion(), suggestion);
}

TEST(ErrorModel, ConstructorsGiveCodeTextsIdentifierAndOnlyAGivenCause) {
    EXPECT_EQ(AFXDefaultErrorDomain, QStringLiteral("com.kestrel.default-error-domain"));
    EXPECT_EQ(BRErrorAccessibilityIdentifierKey, QStringLiteral("BRErrorAccessibilityIdentifier"));
    const Error cause(platform::NSURLErrorDomain, platform::NSURLErrorTimedOut);
    const QString trouble = QStringLiteral("Uh-oh! Kestrel is having some connection issues.");
    const QString later = QStringLiteral("Terribly sorry, please try again a little later.");
    const QString network = QStringLiteral("error.bad-network");
    const QString server = QStringLiteral("error.server-error");
    struct Row {
        Error error;
        std::int64_t code;
        QString description, suggestion, identifier;
        bool hasCause;
    };
    const Row rows[] = {
        {afx_makeNetworkErrorWithUnderlyingError(cause), -401001,
         QStringLiteral("Kestrel requires Internet connection to continue."),
         QStringLiteral("Please make sure you are connected and try again."), network, true},
        {afx_makeNetworkErrorWithUnderlyingError(std::nullopt), -401001,
         QStringLiteral("Kestrel requires Internet connection to continue."),
         QStringLiteral("Please make sure you are connected and try again."), network, false},
        {afx_makeSoftwareBlocksNetworkErrorWithUnderlyingError(std::nullopt), -401001,
         QStringLiteral("Kestrel\u2019s Internet access got interrupted by another process or application."),
         QStringLiteral("Please make sure no network management apps are blocking Kestrel and try again."),
         network, false},
        {afx_makeUnknownNetworkErrorWithUnderlyingError(cause), -401001, trouble, later, network, true},
        {afx_makeServerErrorOnOperation(QStringLiteral("sync"), std::nullopt), -401500, trouble, later,
         server, false},
        {afx_makeServerResponseParsingErrorOnOperation(QStringLiteral("list"), cause), -401540, trouble,
         later, server, true},
        {afx_makeFailedDiskOperation(QStringLiteral("copy"), cause),
         -401012,
         QStringLiteral("Internal file operation failed"),
         QStringLiteral("Your issue is already being handled"),
         {},
         true},
        {afx_appSignatureCheckFailedWithError(std::nullopt),
         -401042,
         QStringLiteral("Application signature could not be verified."),
         QStringLiteral("It looks like the application was not code signed with a developer signature."),
         {},
         false},
        {afx_incompatibleAppMinOSVersion(QStringLiteral("14.1"), QStringLiteral("13.6")),
         -401044,
         QStringLiteral("This application requires macOS 14.1 or later to work on your computer. "
                        "Currently you have macOS 13.6."),
         QStringLiteral("Please update your operating system and try again."),
         {},
         false},
        {afx_invalidMachine(),
         -401086,
         QStringLiteral("It looks like your Mac's identity has changed."),
         QStringLiteral("Please sign in your Kestrel account to continue using the service."),
         {},
         false},
        {afx_noSuchAppInStoreToPresent(),
         -401103,
         QStringLiteral("This application is no longer available on Kestrel."),
         QStringLiteral("You may remove the alias from your computer."),
         {},
         false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.error.description().toStdString());
        EXPECT_EQ(r.error.domain(), AFXDefaultErrorDomain);
        EXPECT_EQ(r.error.code(), r.code);
        expectTexts(r.error, r.description, r.suggestion);
        EXPECT_EQ(textOf(r.error, BRErrorAccessibilityIdentifierKey), r.identifier);
        EXPECT_EQ(r.error.userInfo().contains(platform::NSUnderlyingErrorKey), r.hasCause);
        if (r.hasCause) {
            EXPECT_EQ(*r.error.underlyingError(), cause);
        }
    }
    EXPECT_EQ(afx_cancel(), Error(AFXDefaultErrorDomain, -401005));
}

TEST(ErrorModel, ConstructorsKeepTheirSubjectAndLogAtTheirLevel) {
    LoggersRemover remover;
    auto recorder = RecordingLogger::install();

    const Error service =
        afx_makeErrorOfMissingServiceNamed(QStringLiteral("Updater"), QStringLiteral("launch"));
    EXPECT_EQ(service.code(), -401002);
    EXPECT_EQ(textOf(service, AFXErrorServiceNameKey), QStringLiteral("Updater"));
    EXPECT_EQ(textOf(service, AFXErrorProposeKey), QStringLiteral("launch"));
    // Errors are logged synchronously: the line is there when the call returns.
    EXPECT_EQ(recorder->texts(BRLogFlagError),
              QStringList{QStringLiteral("Service Updater is missing. Was required for launch")});

    const Error object = afx_makeErrorOfMissingObjectOfKind(QStringLiteral("Bucket"));
    BRLog::flushLog();
    EXPECT_EQ(object.code(), -401003);
    EXPECT_EQ(textOf(object, AFXErrorObjectKindKey), QStringLiteral("Bucket"));
    EXPECT_EQ(recorder->texts(BRLogFlagInfo), QStringList{QStringLiteral("Object Bucket is missing")});

    afx_makeUnknownNetworkErrorWithUnderlyingError(std::nullopt);
    afx_makeServerErrorOnOperation(QStringLiteral("sync"), std::nullopt);
    EXPECT_TRUE(
        recorder->hasLineStartingWith(BRLogFlagError, QStringLiteral("Unknown network error encountered ")));
    EXPECT_TRUE(recorder->hasLineStartingWith(BRLogFlagError,
                                              QStringLiteral("Server error on sync with underlying error ")));
}

// Each desktop-client error offers to download the client: the first button
// opens the download page, the second nothing.
TEST(ErrorModel, DesktopClientErrorsOpenTheDownloadPageWithTheFirstButtonOnly) {
    const QString root = testing_support::testRoot();
    const QString opened = root + QStringLiteral("/opened.txt");
    const QString opener = root + QStringLiteral("/open-url.sh");
    ASSERT_TRUE(testing_support::writeFile(
        opener, QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '%1'\n").arg(opened).toUtf8()));
    ASSERT_TRUE(QFile::setPermissions(opener, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const testing_support::EnvironmentOverride environment{
        {"KESTREL_OPEN_COMMAND", opener.toLocal8Bit()},
        {"KESTREL_REDIRECT_URL", QByteArray("https://redirect.example.test/go/")}};
    const QByteArray page = "https://redirect.example.test/go/download-desktop-client\n";
    EXPECT_EQ(customerURLOnDownloadKestrel().toString(), QString::fromLatin1(page.trimmed()));

    struct Case {
        Error (*make)();
        std::int64_t code;
        const char* description;
        const char* suggestion;
        const char* download;
    };
    const Case cases[] = {
        {afx_missingDesktopClient, -401014,
         "The main Kestrel application is missing on your Mac. Would you like to download and install it?",
         "This will allow you to discover and further use all of the Kestrel applications.",
         "Download and Install"},
        {afx_corruptedDesktopClient, -401015,
         "Your Kestrel installation is broken and cannot be used properly.",
         "Please download a new copy of Kestrel and reinstall it on your Mac to resolve the problem.",
         "Download and Install"},
        {afx_oldDesktopClient, -401015,
         "Your current version of Kestrel is outdated and can no longer be used.",
         "Please download and install the latest version to continue using Kestrel.", "Download Now"},
    };
    int expectedLines = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        const Error error = c.make();
        EXPECT_EQ(error.domain(), AFXDefaultErrorDomain);
        EXPECT_EQ(error.code(), c.code);
        expectTexts(error, QString::fromUtf8(c.description), QString::fromUtf8(c.suggestion));
        EXPECT_EQ(error.localizedRecoveryOptions(),
                  (QStringList{QString::fromUtf8(c.download), QStringLiteral("Cancel")}));
        EXPECT_TRUE(afx_isUserPresentableError(error));

        EXPECT_FALSE(recoverWithIndexOfOption(error, 1));
        EXPECT_FALSE(recoverWithIndexOfOption(c.make(), 0));
        ++expectedLines;
        EXPECT_TRUE(testing_support::waitUntil(
            [&] { return testing_support::readFile(opened).count('\n') >= expectedLines; }));
        EXPECT_EQ(testing_support::readFile(opened), page.repeated(expectedLines));
    }
}

TEST(ErrorModel, CustomerErrorReplacesHTTPClientCodesKeepingTheUserInfo) {
    const platform::Value::Dictionary info{{QStringLiteral("k"), QStringLiteral("v")}};
    const std::pair<std::int64_t, std::int64_t> mapping[] = {{-401400, -401081}, {-401404, -401082},
                                                             {-401403, -401083}, {-401424, -401084},
                                                             {-401402, -401085}, {-401409, -401088}};
    for (const auto& [http, customer] : mapping) {
        const Error mapped = afx_customerError(Error(AFXDefaultErrorDomain, http, info));
        EXPECT_EQ(mapped, Error(AFXDefaultErrorDomain, customer, info)) << http;
        EXPECT_TRUE(afx_isCustomerError(mapped)) << http;
    }
    EXPECT_TRUE(afx_isInvalidToken(afx_customerError(Error(AFXDefaultErrorDomain, -401404))));
    for (const Error& unchanged :
         {Error(AFXDefaultErrorDomain, -401500, info), Error(AFXDefaultErrorDomain, -401410),
          Error(QStringLiteral("elsewhere"), -401400)}) {
        EXPECT_TRUE(afx_customerError(unchanged).isIdenticalTo(unchanged))
            << unchanged.description().toStdString();
    }
}

TEST(ErrorModel, PredicatesClassifyCodesOfTheDomainOnly) {
    struct Row {
        QString domain;
        std::int64_t code;
        bool cancelled, httpClient, customer, presentable;
    };
    const QString d = AFXDefaultErrorDomain;
    const Row rows[] = {
        {d, -401005, true, false, false, false},
        {platform::NSURLErrorDomain, -999, true, false, false, false},
        {QStringLiteral("elsewhere"), -401005, false, false, false, false},
        {d, -999, false, false, false, false},
        {d, -401400, false, true, true, false},
        {d, -401402, false, true, true, false},
        {d, -401403, false, true, true, false},
        {d, -401404, false, true, true, false},
        {d, -401409, false, true, true, false},
        {d, -401424, false, true, true, false},
        {d, -401410, false, true, true, true},
        {d, -401081, false, false, true, false},
        {d, -401088, false, false, true, false},
        {QStringLiteral("elsewhere"), -401400, false, false, false, false},
        {QStringLiteral("elsewhere"), -401001, false, false, false, false},
        {d, -401002, false, false, false, false},
        {d, -401013, false, false, false, false},
    };
    for (const Row& r : rows) {
        const Error e(r.domain, r.code);
        const auto where = r.domain.toStdString() + " " + std::to_string(r.code);
        EXPECT_EQ(afx_isCancelled(e), r.cancelled) << where;
        EXPECT_EQ(afx_isHTTPClientError(e), r.httpClient) << where;
        EXPECT_EQ(afx_isCustomerError(e), r.customer) << where;
        EXPECT_EQ(afx_isUserPresentableError(e), r.presentable) << where;
    }
    for (std::int64_t code : {-401001, -401012, -401014, -401015, -401042, -401044, -401061, -401062, -401086,
                              -401103, -401410, -401500, -401540}) {
        EXPECT_TRUE(afx_isUserPresentableError(Error(d, code))) << code;
        EXPECT_FALSE(afx_isCancelled(Error(d, code))) << code;
    }
}

} // namespace
