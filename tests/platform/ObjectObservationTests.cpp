#include "platform/DispatchSemaphore.h"
#include "platform/Object.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace platform;
using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

namespace {

constexpr auto kWait = 10s;

class Observed : public Object {
public:
    void announce() { didChangeValueForKey(u"value"_s); }
};

} // namespace

TEST(ObjectObservationTests, RemovedObserverIsNeverEnteredAgainWhileOthersAnnounce) {
    auto object = std::make_shared<Observed>();
    std::atomic<bool> stop{false};
    std::vector<std::thread> announcers;
    for (int i = 0; i < 2; ++i) {
        announcers.emplace_back([&] {
            while (!stop) {
                object->announce();
            }
        });
    }
    std::atomic<int> callsAfterRemoval{0};
    bool everyObserverCalled = true;
    for (int round = 0; round < 300 && everyObserverCalled; ++round) {
        auto removed = std::make_shared<std::atomic<bool>>(false);
        auto called = DispatchSemaphore::make(0);
        const auto token =
            object->addObserver(u"value"_s, [removed, called, &callsAfterRemoval](const QString&) {
                // Looked at on entry and on the way out: removal must wait for a call under way.
                callsAfterRemoval += *removed ? 1 : 0;
                called->signal();
                std::this_thread::yield();
                callsAfterRemoval += *removed ? 1 : 0;
            });
        everyObserverCalled = called->wait(kWait);
        object->removeObserver(token);
        *removed = true;
    }
    stop = true;
    for (auto& announcer : announcers) {
        announcer.join();
    }
    EXPECT_TRUE(everyObserverCalled);
    EXPECT_EQ(callsAfterRemoval, 0);
}

TEST(ObjectObservationTests, ObserverRemovingItselfIsReleasedOnceItReturns) {
    auto object = std::make_shared<Observed>();
    auto held = std::make_shared<int>(0);
    std::weak_ptr<int> weakHeld = held;
    int calls = 0;
    Object::ObserverToken token = 0;
    token = object->addObserver(u"value"_s, [&, held = std::move(held)](const QString&) {
        ++calls;
        object->removeObserver(token);
        ++*held; // still alive for the rest of the call
    });
    auto finished = DispatchSemaphore::make(0);
    // On a thread of its own, so that a removal waiting for itself fails the
    // test instead of hanging it.
    std::thread announcer([&] {
        object->announce();
        object->announce();
        finished->signal();
    });
    if (!finished->wait(kWait)) {
        announcer.detach();
        FAIL() << "an observer removing itself waited for its own call";
    }
    announcer.join();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(weakHeld.expired());
}
