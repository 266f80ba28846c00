#include "PlatformPrinters.h"
#include "platform/DispatchQueue.h"
#include "platform/DispatchSemaphore.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/MainRunLoop.h"
#include "testing/EnvironmentOverride.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include <unistd.h>

using namespace platform;
using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

namespace platform {
inline void PrintTo(const Notification& notification, std::ostream* out) {
    *out << notification.name().toStdString() << " / " << notification.object().toStdString() << " "
         << Value(notification.userInfo()).description().toStdString();
}
} // namespace platform

namespace {

using Notifications = QList<Notification>;

// Test programs share one session bus: names unique to this process keep
// their notifications apart.
QString uniqueName(const QString& what) {
    static std::atomic<int> counter;
    return u"com.kestrel.tests.%1.%2.%3"_s.arg(::getpid()).arg(++counter).arg(what);
}

// Collects what an observer receives, from whatever queue it runs on. The
// observer is removed only when the test case ends, after its inbox is gone,
// so the block shares the inbox's contents instead of pointing at it.
class Inbox {
public:
    std::function<void(const Notification&)> block() {
        return [contents = contents_](const Notification& notification) {
            std::lock_guard lock(contents->mutex);
            contents->received.append(notification);
        };
    }
    // A list of its own, not one sharing its elements with the inbox: a
    // shared list would be detached later, outside the lock.
    Notifications received() {
        std::lock_guard lock(contents_->mutex);
        return Notifications(contents_->received.cbegin(), contents_->received.cend());
    }
    bool waitForCount(qsizetype count) {
        return testing_support::waitUntil([&] { return received().size() >= count; });
    }

private:
    struct Contents {
        std::mutex mutex;
        Notifications received;
    };
    const std::shared_ptr<Contents> contents_ = std::make_shared<Contents>();
};

class DistributedNotificationCenterTests : public testing::Test {
protected:
    void SetUp() override {
        Error error(QString(), 0);
        center = DistributedNotificationCenter::defaultCenter(&error);
        ASSERT_TRUE(center) << error.description().toStdString();
    }
    void TearDown() override {
        for (const auto& token : tokens) {
            center->removeObserver(token);
        }
    }

    std::shared_ptr<DistributedNotificationCenter::ObserverToken>
    observe(const QString& name, const QString& object, std::function<void(const Notification&)> block,
            std::shared_ptr<DispatchQueue> queue = DispatchQueue::make(u"observer"_s)) {
        Error error(QString(), 0);
        auto token = center->addObserver(name, object, std::move(queue), std::move(block), &error);
        EXPECT_TRUE(token) << error.description().toStdString();
        tokens.append(token);
        return token;
    }

    void post(const QString& name, const QString& object, const Value::Dictionary& userInfo = {}) {
        Error error(QString(), 0);
        EXPECT_TRUE(center->postNotificationName(name, object, userInfo, false, &error))
            << error.description().toStdString();
    }

    std::shared_ptr<DistributedNotificationCenter> center;
    QList<std::shared_ptr<DistributedNotificationCenter::ObserverToken>> tokens;
};

const QString kPeer = QStringLiteral(KESTREL_NOTIFICATION_PEER);

} // namespace

TEST_F(DistributedNotificationCenterTests, OwnPostsArriveIntactOnTheObserversQueue) {
    const QString name = uniqueName(u"kinds"_s);
    const Value::Dictionary userInfo{
        {"bool", false},
        {"negative", -42},
        {"largest", std::numeric_limits<std::int64_t>::max()},
        {"unsigned", 7u},
        {"real", 2.5},
        {"text", u"Grüße ✓ \"quoted\" 'single'"_s},
        {"data", QByteArray("\x00\x01\xff", 3)},
        {"date", QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC)},
        {"list", Value::Array{1, "two", Value::Array{}, Value::Dictionary{{"x", 1.0}}}},
        {"nested",
         Value::Dictionary{{"inner", Value::Dictionary{{"deep", ""}}}, {"empty", Value::Dictionary{}}}},
    };
    auto queue = DispatchQueue::make(u"observer"_s);
    Inbox onQueue, onMain;
    std::atomic<int> wrongQueue{0};
    observe(
        name, QString(),
        [&, record = onQueue.block()](const Notification& notification) {
            wrongQueue += queue->isCurrent() ? 0 : 1;
            record(notification);
        },
        queue);
    observe(
        name, QString(),
        [&, record = onMain.block()](const Notification& notification) {
            wrongQueue += MainRunLoop::isMainThread() ? 0 : 1;
            record(notification);
        },
        nullptr);

    post(name, u"object-1"_s, userInfo);
    post(name, QString());
    ASSERT_TRUE(onQueue.waitForCount(2));
    ASSERT_TRUE(onMain.waitForCount(2));
    const Notifications expected{Notification(name, u"object-1"_s, userInfo), Notification(name)};
    EXPECT_EQ(onQueue.received(), expected);
    EXPECT_EQ(onMain.received(), expected);
    EXPECT_EQ(wrongQueue, 0);
}

TEST_F(DistributedNotificationCenterTests, ObserversSeeOnlyTheirNameAndObjectInArrivalOrder) {
    const QString a = uniqueName(u"a"_s), b = uniqueName(u"b"_s), c = uniqueName(u"c"_s);
    const QString x = uniqueName(u"x"_s), y = uniqueName(u"y"_s);
    // One serial queue for all: once the last notification has reached its
    // observer, everything posted before it has reached every observer.
    auto queue = DispatchQueue::make(u"observers"_s);
    Inbox byName, byObject, byBoth, byOtherName;
    observe(a, QString(), byName.block(), queue);
    observe(QString(), x, byObject.block(), queue);
    observe(a, x, byBoth.block(), queue);
    observe(b, QString(), byOtherName.block(), queue);

    post(a, x);
    post(a, y);
    post(b, y);
    post(c, y);
    post(c, x);
    ASSERT_TRUE(byObject.waitForCount(2));
    EXPECT_EQ(byName.received(), (Notifications{Notification(a, x), Notification(a, y)}));
    EXPECT_EQ(byObject.received(), (Notifications{Notification(a, x), Notification(c, x)}));
    EXPECT_EQ(byBoth.received(), Notifications{Notification(a, x)});
    EXPECT_EQ(byOtherName.received(), Notifications{Notification(b, y)});

    Inbox counted;
    observe(c, u"counted"_s, counted.block());
    for (int i = 0; i < 200; ++i) {
        post(c, u"counted"_s, {{"index", i}});
    }
    ASSERT_TRUE(counted.waitForCount(200));
    const auto received = counted.received();
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(received[i].userInfo()[u"index"_s], Value(i)) << "at " << i;
    }
}

TEST_F(DistributedNotificationCenterTests, RemovedObserversAreNotCalledAgain) {
    const QString name = uniqueName(u"removal"_s);
    auto blockedQueue = DispatchQueue::make(u"blocked"_s);
    auto release = DispatchSemaphore::make();
    blockedQueue->async([release] { release->wait(10s); });
    std::atomic<int> removedCalls{0}, selfRemovingCalls{0};
    auto removed = observe(
        name, QString(), [&](const Notification&) { ++removedCalls; }, blockedQueue);
    std::shared_ptr<DistributedNotificationCenter::ObserverToken> selfRemoving;
    selfRemoving = observe(name, QString(), [&](const Notification&) {
        ++selfRemovingCalls;
        center->removeObserver(selfRemoving);
    });
    Inbox witness;
    auto witnessToken = observe(name, QString(), witness.block());

    for (int i = 0; i < 3; ++i) {
        post(name, QString(), {{"index", i}});
    }
    // The witness sees the last only after the first three were handed to
    // every observer: the blocked queue holds them now.
    post(name, u"last"_s);
    ASSERT_TRUE(witness.waitForCount(4));
    center->removeObserver(removed);
    release->signal();
    blockedQueue->sync([] {});
    EXPECT_EQ(removedCalls, 0);
    EXPECT_EQ(selfRemovingCalls, 1);

    // With every observer gone the center stops listening; a new observer
    // starts it again.
    center->removeObserver(witnessToken);
    Inbox later;
    observe(name, QString(), later.block());
    post(name, u"again"_s);
    ASSERT_TRUE(later.waitForCount(1));
    EXPECT_EQ(later.received(), Notifications{Notification(name, u"again"_s)});
    EXPECT_EQ(witness.received().size(), 4);
    EXPECT_EQ(removedCalls + selfRemovingCalls, 1);
}

TEST_F(DistributedNotificationCenterTests, RemoveObserverWaitsForACallUnderWay) {
    const QString name = uniqueName(u"under-way"_s);
    auto started = DispatchSemaphore::make(), proceed = DispatchSemaphore::make();
    std::atomic<bool> finished{false};
    auto token = observe(name, QString(), [&](const Notification&) {
        started->signal();
        proceed->wait(10s);
        finished = true;
    });
    post(name, QString());
    ASSERT_TRUE(started->wait(10s));

    std::atomic<bool> returned{false}, finishedWhenReturned{false};
    std::thread remover([&] {
        center->removeObserver(token);
        finishedWhenReturned = finished.load();
        returned = true;
    });
    // The block is still held: removal must not come back meanwhile.
    EXPECT_FALSE(testing_support::waitUntil([&] { return returned.load(); }, 300ms));
    proceed->signal();
    remover.join();
    EXPECT_TRUE(finishedWhenReturned);
}

TEST_F(DistributedNotificationCenterTests, RefusesWhatAPropertyListCannotCarry) {
    const QString name = uniqueName(u"refused"_s);
    Inbox inbox;
    observe(name, QString(), inbox.block());

    const std::pair<Value::Dictionary, QString> cases[] = {
        {{{"link", QUrl(u"https://example.com"_s)}}, u"“link” is a URL"_s},
        {{{"id", QUuid::createUuid()}}, u"“id” is a UUID"_s},
        {{{"tags", Value::set({1, 2})}}, u"“tags” is a set"_s},
        {{{"nothing", Value()}}, u"“nothing” is null"_s},
        {{{"outer", Value::Dictionary{{"inner", Value::Array{1, QUrl(u"file:///x"_s)}}}}},
         u"“outer.inner[1]”"_s},
        {{{"huge", std::numeric_limits<std::uint64_t>::max()}}, u"“huge” is an integer beyond"_s},
        {{{"text", u"a\0b"_s}}, u"“text” is a string with a NUL"_s},
        {{{"far", QDateTime(QDate(2200, 1, 1), QTime(0, 0), Qt::UTC)}}, u"written as a property list"_s},
    };
    for (const auto& [userInfo, named] : cases) {
        Error error(QString(), 0);
        EXPECT_FALSE(center->postNotificationName(name, QString(), userInfo, false, &error));
        EXPECT_EQ(error.domain(), DistributedNotificationCenter::ErrorDomain);
        EXPECT_EQ(error.code(), DistributedNotificationCenter::InvalidNotificationError);
        EXPECT_TRUE(error.localizedDescription().contains(named))
            << error.localizedDescription().toStdString();
    }
    Error error(QString(), 0);
    EXPECT_FALSE(center->postNotificationName(QString(), QString(), {}, false, &error));
    EXPECT_EQ(error.code(), DistributedNotificationCenter::InvalidNotificationError);

    // Nothing of the refused went out: the first to arrive is the one after.
    post(name, u"accepted"_s);
    ASSERT_TRUE(inbox.waitForCount(1));
    EXPECT_EQ(inbox.received(), Notifications{Notification(name, u"accepted"_s)});
}

TEST_F(DistributedNotificationCenterTests, ExchangesNotificationsWithAnotherProcess) {
    const QString name = uniqueName(u"echo"_s);
    const Value::Dictionary request{
        {"app",
         Value::Dictionary{{"id", 230}, {"name", "Orbit Notes"}, {"versions", QStringList{"1.0", "1.1"}}}},
        {"icon", QByteArray("\x00\x01\xfe\xff", 4)},
        {"when", QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC)},
    };
    Inbox conversation;
    observe(name, QString(), conversation.block());
    std::atomic<bool> peerDone{false};
    testing_support::ProgramResult peer;
    DispatchQueue::global()->async([&] {
        peer = testing_support::runProgram(kPeer, {u"echo"_s, name});
        peerDone = true;
    });
    ASSERT_TRUE(conversation.waitForCount(1)) << "the peer did not announce itself";
    EXPECT_EQ(conversation.received().first(), Notification(name, u"ready"_s));
    post(name, u"request"_s, request);
    ASSERT_TRUE(testing_support::waitUntil([&] { return peerDone.load(); }, 60s));
    EXPECT_EQ(peer.status, 0) << peer.errors.toStdString();
    ASSERT_TRUE(conversation.waitForCount(3));

    const auto received = conversation.received();
    EXPECT_EQ(received[1], Notification(name, u"request"_s, request));
    Value::Dictionary reply = received[2].userInfo();
    const auto echoedBy = reply.take(u"echoedBy"_s).toInteger();
    EXPECT_EQ(received[2].object(), u"reply"_s);
    EXPECT_EQ(reply, request);
    EXPECT_GT(echoedBy, 0);
    EXPECT_NE(echoedBy, ::getpid());
}

TEST_F(DistributedNotificationCenterTests, IgnoresSignalsThatAreNotNotifications) {
    const QString name = uniqueName(u"malformed"_s);
    Inbox inbox;
    observe(name, QString(), inbox.block());
    const auto result = testing_support::runProgram(kPeer, {u"malformed"_s, name});
    ASSERT_EQ(result.status, 0) << result.errors.toStdString();
    ASSERT_TRUE(inbox.waitForCount(1));
    EXPECT_EQ(inbox.received(), Notifications{Notification(name, u"well-formed"_s, {{"fine", true}})});
}

TEST(DistributedNotificationCenterWithoutBusTests, DefaultCenterSaysThereIsNoSessionBus) {
    // This process's center may exist already: ask in a fresh one, with the
    // address naming no socket and with no address at all.
    const QByteArray root = testing_support::testRoot().toLocal8Bit();
    const std::optional<QByteArray> addresses[] = {"unix:path=" + root + "/no-bus", std::nullopt};
    for (const auto& address : addresses) {
        testing_support::EnvironmentOverride override{
            {"DBUS_SESSION_BUS_ADDRESS", address}, {"DISPLAY", std::nullopt}, {"XDG_RUNTIME_DIR", root}};
        const auto result = testing_support::runProgram(kPeer, {u"center"_s});
        EXPECT_EQ(result.status, 3) << result.errors.toStdString();
        const QStringList lines = QString::fromUtf8(result.output).split(u'\n');
        ASSERT_GE(lines.size(), 3) << result.output.toStdString();
        EXPECT_EQ(lines[0], DistributedNotificationCenter::ErrorDomain);
        EXPECT_EQ(lines[1], QString::number(DistributedNotificationCenter::NoSessionBusError));
        EXPECT_TRUE(lines[2].startsWith(
            u"No D-Bus session bus: DBUS_SESSION_BUS_ADDRESS is not set or the bus cannot be reached"_s))
            << lines[2].toStdString();
    }
}
