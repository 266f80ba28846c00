#include "SpecificTools/AFXStatsdClient/AFXStatsdClient.h"
#include "SpecificTools/Model/AFXEnvironmentID.h"
#include "tests/support/LogCapture.h"
#include "tests/testing/TestSupport.h"
#include "tests/testing/UdpReceiver.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using namespace std::chrono_literals;
using testing_support::RecordingLogger;
using testing_support::UdpReceiver;

QByteArray lineOf(const QString& rest) {
    return (AFXStatsdClient::NamespaceKey + rest).toUtf8();
}

TEST(StatsdFrameworkClient, NamesMetricsAfterTheEnvironmentAndVersionAndLogsThemWithoutTheKey) {
    testing_support::LoggersRemover remover;
    const auto logger = RecordingLogger::install();
    UdpReceiver receiver;
    ASSERT_TRUE(receiver.isBound());
    const auto statsd = AFXStatsdClient::makeWithHost(QStringLiteral("127.0.0.1"), receiver.port());
    EXPECT_EQ(AFXStatsdClient::NamespaceKey.size(), 36);
    EXPECT_EQ(statsd->makeFormattedNameOfName(QStringLiteral("x")),
              QStringLiteral("kestrel.production.1_9_8.x"));

    statsd->metricsNamedRecordCount(QStringLiteral("get_auth_token"), 1);
    statsd->metricsNamedRecordTiming(QStringLiteral("get_auth_token"), 0.042);
    statsd->metricsNamedRecordSample(QStringLiteral("poke"), 2, 0.5);
    statsd->metricsNamedSetGauge(QStringLiteral("apps"), 12);
    statsd->metricsNamedAdjustGauge(QStringLiteral("apps"), -1);
    EXPECT_EQ(receiver.receive(), lineOf(QStringLiteral(".kestrel.production.1_9_8.get_auth_token:1|c")));
    EXPECT_EQ(receiver.receive(), lineOf(QStringLiteral(".kestrel.production.1_9_8.get_auth_token:42|ms")));
    EXPECT_EQ(receiver.receive(), lineOf(QStringLiteral(".kestrel.production.1_9_8.poke:2|c|@0.50")));
    EXPECT_EQ(receiver.receive(), lineOf(QStringLiteral(".kestrel.production.1_9_8.apps:12|g")));
    EXPECT_EQ(receiver.receive(), lineOf(QStringLiteral(".kestrel.production.1_9_8.apps:-1|g")));

    const QString logged = QStringLiteral("statsd: <statsdID>.kestrel.production.1_9_8.apps:-1|g");
    EXPECT_TRUE(testing_support::waitUntil([&] { return logger->texts(BRLogFlagInfo).contains(logged); }));
    for (const QString& text : logger->texts()) {
        EXPECT_FALSE(text.contains(AFXStatsdClient::NamespaceKey)) << text.toStdString();
    }
}

TEST(StatsdFrameworkClient, DropsMetricsInAnEnvironmentWithoutStatsdID) {
    UdpReceiver receiver;
    ASSERT_TRUE(receiver.isBound());
    const auto statsd = AFXStatsdClient::makeWithHost(QStringLiteral("127.0.0.1"), receiver.port());
    statsd->setEnvironmentID(AFXEnvironmentID::environmentIDWithManifestURL(
        QUrl(QStringLiteral("https://staging.example/endpoints.json"))));
    EXPECT_EQ(statsd->makeFormattedNameOfName(QStringLiteral("x")), std::nullopt);
    statsd->metricsNamedRecordCount(QStringLiteral("dropped"), 1);
    statsd->metricsNamedRecordTiming(QStringLiteral("dropped"), 1);
    statsd->metricsNamedAdjustGauge(QStringLiteral("dropped"), 1);

    // Lines of one client go out in order, so the first to arrive tells
    // whether anything went before it.
    statsd->setEnvironmentID(AFXEnvironmentID::defaultEnvironmentID());
    statsd->metricsNamedRecordCount(QStringLiteral("kept"), 1);
    EXPECT_EQ(receiver.receive(), lineOf(QStringLiteral(".kestrel.production.1_9_8.kept:1|c")));
}

TEST(StatsdFrameworkClient, LogsAFailedSendWithItsError) {
    testing_support::LoggersRemover remover;
    const auto logger = RecordingLogger::install();
    UdpReceiver receiver;
    ASSERT_TRUE(receiver.isBound());
    const auto statsd = AFXStatsdClient::makeWithHost(QStringLiteral("127.0.0.1"), receiver.port());
    const QString name(70000, u'n');
    statsd->metricsNamedRecordCount(name, 1);
    const QString expected =
        QStringLiteral("Did fail to send statsd: <statsdID>.kestrel.production.1_9_8.%1:1|c "
                       "with error %2")
            .arg(name)
            .arg(EMSGSIZE);
    EXPECT_TRUE(testing_support::waitUntil([&] { return logger->texts(BRLogFlagError).contains(expected); }));
}

} // namespace
