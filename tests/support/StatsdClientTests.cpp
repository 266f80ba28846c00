#include "support/BRStatsdClient.h"
#include "tests/testing/UdpReceiver.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

using namespace std::chrono_literals;
using testing_support::UdpReceiver;

// Keeps what a client reports, so tests can wait for it.
class RecordingDelegate : public BRStatsdClientDelegate {
public:
    struct Failure {
        QString command;
        std::int64_t error;
    };

    void statsdClientDidSendCommand(BRStatsdClient&, const QString& command) override {
        std::lock_guard lock(mutex_);
        sent_.push_back(command);
        changed_.notify_all();
    }
    void statsdClientDidFailToSendCommand(BRStatsdClient&, const QString& command,
                                          std::int64_t error) override {
        std::lock_guard lock(mutex_);
        failed_.push_back({command, error});
        changed_.notify_all();
    }

    // Waits until `count` reports in all have come; answers whether they did.
    bool waitForReports(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return sent_.size() + failed_.size() >= count; });
    }
    std::vector<QString> sent() {
        std::lock_guard lock(mutex_);
        return sent_;
    }
    std::vector<Failure> failed() {
        std::lock_guard lock(mutex_);
        return failed_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<QString> sent_;
    std::vector<Failure> failed_;
};

TEST(StatsdClient, SendsEveryKindOfLineByteForByteAndTellsItsDelegate) {
    UdpReceiver receiver;
    ASSERT_TRUE(receiver.isBound());
    const auto client =
        BRStatsdClient::makeWithHost(QStringLiteral("127.0.0.1"), receiver.port(), QStringLiteral("N"));
    const auto delegate = std::make_shared<RecordingDelegate>();
    client->setDelegate(delegate);

    client->metricsNamedRecordCount(QStringLiteral("m"), 3);
    client->metricsNamedRecordTiming(QStringLiteral("m"), 0.25);
    client->metricsNamedSetGauge(QStringLiteral("m"), 7);
    client->metricsNamedAdjustGauge(QStringLiteral("m"), 5);
    client->metricsNamedAdjustGauge(QStringLiteral("m"), -5);
    client->metricsNamedAdjustGauge(QStringLiteral("m"), 0);
    client->metricsNamedRecordSample(QStringLiteral("m"), 1, 0.1);
    client->metricsNamedRecordTiming(QStringLiteral("t"), 1.9999);
    client->send(QStringLiteral("N.ünïcode:1|c"));

    const std::vector<QByteArray> expected{
        "N.m:3|c",       "N.m:250|ms",  "N.m:7|g",
        "N.m:+5|g",      "N.m:-5|g",    "N.m:+0|g",
        "N.m:1|c|@0.10", "N.t:1999|ms", QStringLiteral("N.ünïcode:1|c").toUtf8()};
    for (const QByteArray& line : expected) {
        EXPECT_EQ(receiver.receive(), line);
    }
    ASSERT_TRUE(delegate->waitForReports(expected.size()));
    std::vector<QByteArray> reported;
    for (const QString& command : delegate->sent()) {
        reported.push_back(command.toUtf8());
    }
    EXPECT_EQ(reported, expected);
    EXPECT_TRUE(delegate->failed().empty());
}

TEST(StatsdClient, PortZeroMeansTheStatsdPort) {
    UdpReceiver receiver(BRStatsdClient::DefaultPort);
    ASSERT_TRUE(receiver.isBound()) << "port 8125 is taken on this machine";
    const auto client = BRStatsdClient::makeWithHost(QStringLiteral("localhost"), 0, QStringLiteral("N"));
    EXPECT_EQ(client->port(), 8125);
    client->metricsNamedRecordCount(QStringLiteral("m"), 1);
    EXPECT_EQ(receiver.receive(), QByteArray("N.m:1|c"));
}

TEST(StatsdClient, AFailedSendIsReportedWithTheSocketErrorAndTheNextLineStillGoes) {
    UdpReceiver receiver;
    ASSERT_TRUE(receiver.isBound());
    const auto client =
        BRStatsdClient::makeWithHost(QStringLiteral("127.0.0.1"), receiver.port(), QStringLiteral("N"));
    const auto delegate = std::make_shared<RecordingDelegate>();
    client->setDelegate(delegate);

    // No datagram can carry this line, on the first try or the retry.
    const QString oversized = QStringLiteral("N.big:%1|c").arg(QString(70000, u'9'));
    client->send(oversized);
    client->metricsNamedRecordCount(QStringLiteral("after"), 1);

    ASSERT_TRUE(delegate->waitForReports(2));
    ASSERT_EQ(delegate->failed().size(), 1u);
    EXPECT_EQ(delegate->failed().front().command, oversized);
    EXPECT_EQ(delegate->failed().front().error, EMSGSIZE);
    EXPECT_EQ(delegate->sent(), std::vector<QString>{QStringLiteral("N.after:1|c")});
    EXPECT_EQ(receiver.receive(), QByteArray("N.after:1|c"));
}

TEST(StatsdClient, AHostThatDoesNotResolveFailsEveryLineWithMinusOne) {
    // An empty label: the resolver refuses the name without asking anyone.
    const auto client = BRStatsdClient::makeWithHost(QStringLiteral("a..b"), 0, QStringLiteral("N"));
    const auto delegate = std::make_shared<RecordingDelegate>();
    client->setDelegate(delegate);
    client->metricsNamedRecordCount(QStringLiteral("m"), 1);
    client->metricsNamedSetGauge(QStringLiteral("m"), 2);
    ASSERT_TRUE(delegate->waitForReports(2));
    ASSERT_EQ(delegate->failed().size(), 2u);
    EXPECT_EQ(delegate->failed()[0].command, QStringLiteral("N.m:1|c"));
    EXPECT_EQ(delegate->failed()[0].error, -1);
    EXPECT_EQ(delegate->failed()[1].command, QStringLiteral("N.m:2|g"));
    EXPECT_TRUE(delegate->sent().empty());

    EXPECT_DEATH(BRStatsdClient::makeWithHost(QString(), 0, QStringLiteral("N")),
                 "Invalid parameter not satisfying: host");
    EXPECT_DEATH(BRStatsdClient::makeWithHost(QStringLiteral("localhost"), 0, QString()),
                 "Invalid parameter not satisfying: namespace");
}

} // namespace
