#include "../support/LogCapture.h"
#include "SpecificTools/Errors/AFXNetworkErrors.h"
#include "platform/UserDefaults.h"
#include "support/BRErrorRecovery.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

using platform::Error;
using platform::URLResponse;
using testing_support::LoggersRemover;
using testing_support::RecordingLogger;

namespace {

const QUrl kURL(QStringLiteral("https://api.example.test/v1/apps"));
const QString kOffline = QStringLiteral("Kestrel requires Internet connection to continue.");
const QString kBlocked =
    QStringLiteral("Kestrel\u2019s Internet access got interrupted by another process or application.");
const QString kTrouble = QStringLiteral("Uh-oh! Kestrel is having some connection issues.");

QString descriptionOf(const AFXOptionalError& error) {
    return error ? error->userInfo().value(platform::NSLocalizedDescriptionKey).toString() : QString();
}

TEST(NetworkErrors, FakeCodeInTheClientDefaultsWinsOverAnyOutcome) {
    auto defaults = platform::UserDefaults::makeWithSuiteName(QStringLiteral("com.kestrel.DesktopClient"));
    ASSERT_TRUE(defaults->setObject(std::int64_t(-401403), QStringLiteral("fake_catalog")));
    ASSERT_TRUE(defaults->setObject(std::int64_t(0), QStringLiteral("fake_zero")));
    const auto ok = URLResponse::http(kURL, 200);

    const Error expected(AFXDefaultErrorDomain, -401403, {{QStringLiteral("fake"), true}});
    EXPECT_EQ(afx_interpretNetworkResponse(&ok, QStringLiteral("catalog"), std::nullopt), expected);
    EXPECT_EQ(afx_interpretNetworkResponse(nullptr, QStringLiteral("catalog"),
                                           Error(platform::NSURLErrorDomain, platform::NSURLErrorTimedOut)),
              expected);
    EXPECT_FALSE(afx_interpretNetworkResponse(&ok, QStringLiteral("zero"), std::nullopt));
    EXPECT_FALSE(afx_interpretNetworkResponse(&ok, QStringLiteral("other"), std::nullopt));
}

TEST(NetworkErrors, TransportFailuresBecomeNetworkErrorsUnlessCancelled) {
    LoggersRemover remover;
    auto recorder = RecordingLogger::install();
    const auto ok = URLResponse::http(kURL, 200);

    for (const Error& cancelled :
         {Error(platform::NSURLErrorDomain, -999), Error(AFXDefaultErrorDomain, AFXErrorCodeCancelled)}) {
        const auto result = afx_interpretNetworkResponse(&ok, QStringLiteral("r"), cancelled);
        ASSERT_TRUE(result);
        EXPECT_TRUE(result->isIdenticalTo(cancelled)) << cancelled.description().toStdString();
    }

    struct Row {
        QString domain;
        std::int64_t code;
        QString description;
    };
    const Row rows[] = {
        {platform::NSPOSIXErrorDomain, 53, kBlocked},   {platform::NSCocoaErrorDomain, 53, kTrouble},
        {platform::NSURLErrorDomain, -1005, kOffline},  {platform::NSURLErrorDomain, -1009, kOffline},
        {QStringLiteral("elsewhere"), -1009, kOffline}, {platform::NSPOSIXErrorDomain, -1005, kOffline},
        {platform::NSURLErrorDomain, -1001, kTrouble},  {platform::NSURLErrorDomain, -1004, kTrouble},
    };
    for (const Row& r : rows) {
        const auto where = r.domain.toStdString() + " " + std::to_string(r.code);
        recorder->clear();
        const Error transport(r.domain, r.code);
        const auto result = afx_interpretNetworkResponse(&ok, QStringLiteral("r"), transport);
        ASSERT_TRUE(result) << where;
        EXPECT_EQ(result->domain(), AFXDefaultErrorDomain) << where;
        EXPECT_EQ(result->code(), -401001) << where;
        EXPECT_EQ(descriptionOf(result), r.description) << where;
        EXPECT_EQ(result->userInfo().value(BRErrorAccessibilityIdentifierKey).toString(),
                  QStringLiteral("error.bad-network"))
            << where;
        ASSERT_TRUE(result->underlyingError()) << where;
        EXPECT_EQ(*result->underlyingError(), transport) << where;
        EXPECT_EQ(recorder->hasLineStartingWith(BRLogFlagError,
                                                QStringLiteral("Unknown network error encountered ")),
                  r.description == kTrouble)
            << where;
    }
}

TEST(NetworkErrors, ResponsesMapToTheirCodesAndEveryFailureIsLogged) {
    LoggersRemover remover;
    auto recorder = RecordingLogger::install();
    const platform::Value::Dictionary serverErrorOnly{
        {BRErrorAccessibilityIdentifierKey, QStringLiteral("error.server-error")}};

    const auto noContent = URLResponse::http(kURL, 204);
    EXPECT_FALSE(afx_interpretNetworkResponse(&noContent, QStringLiteral("r"), std::nullopt));
    EXPECT_TRUE(recorder->messages().empty());

    const std::pair<int, std::int64_t> clientErrors[] = {{400, -401400}, {401, -401400}, {402, -401402},
                                                         {403, -401403}, {404, -401404}, {409, -401409},
                                                         {424, -401424}};
    for (const auto& [status, code] : clientErrors) {
        const auto response = URLResponse::http(kURL, status);
        EXPECT_EQ(afx_interpretNetworkResponse(&response, QStringLiteral("r"), std::nullopt),
                  Error(AFXDefaultErrorDomain, code, serverErrorOnly))
            << status;
    }

    const auto unavailable = URLResponse::http(kURL, 503);
    const auto server = afx_interpretNetworkResponse(&unavailable, QStringLiteral("r"), std::nullopt);
    ASSERT_TRUE(server);
    EXPECT_EQ(server->code(), -401500);

    const auto gone = URLResponse::http(kURL, 410);
    const auto outdated = afx_interpretNetworkResponse(&gone, QStringLiteral("r"), std::nullopt);
    ASSERT_TRUE(outdated);
    EXPECT_EQ(outdated->code(), -401015);
    EXPECT_EQ(outdated->localizedRecoveryOptions(),
              (QStringList{QStringLiteral("Download Now"), QStringLiteral("Cancel")}));
    EXPECT_TRUE(recoveryAttemptInfo(*outdated));

    // Nine failures so far, each logged with its URL.
    const auto failures = recorder->texts(BRLogFlagError).filter(QStringLiteral("Did fail network request"));
    EXPECT_EQ(failures.size(), 9);
    for (const QString& line : failures) {
        EXPECT_TRUE(line.startsWith(
            QStringLiteral("Did fail network request to URL https://api.example.test/v1/apps with error ")))
            << line.toStdString();
    }

    const URLResponse redirect = URLResponse::http(kURL, 302);
    const URLResponse notAllowed = URLResponse::http(kURL, 405);
    const URLResponse notHTTP(kURL);
    for (const URLResponse* response :
         {&redirect, &notAllowed, &notHTTP, static_cast<const URLResponse*>(nullptr)}) {
        const auto where = response ? response->description().toStdString() : std::string("no response");
        recorder->clear();
        EXPECT_EQ(afx_interpretNetworkResponse(response, QStringLiteral("r"), std::nullopt),
                  Error(AFXDefaultErrorDomain, -401540, serverErrorOnly))
            << where;
        const QStringList lines = recorder->texts(BRLogFlagError);
        ASSERT_EQ(lines.size(), 2) << where;
        EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Unknown error code with response "))) << where;
        if (response) {
            EXPECT_TRUE(lines[0].contains(response->description())) << where;
        }
        EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Did fail network request to URL "))) << where;
    }
}

} // namespace
