#include "platform/DispatchGroup.h"
#include "platform/DispatchSemaphore.h"
#include "platform/MainRunLoop.h"
#include "support/BRProactor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using platform::DispatchGroup;
using platform::DispatchSemaphore;
using platform::Value;

constexpr auto kTimeout = 10s;
const QString kKey = QStringLiteral("valueOrError");

class Owner : public BRProactorDelegate {
public:
    void makeThing(const std::shared_ptr<BRProactorAction>& action) {
        ++calls;
        onInvocationQueue = BRProactor::invocationQueue()->isCurrent();
        action->setObject(QStringLiteral("made for %1").arg(action->argument().toString()), kKey);
        action->complete();
    }
    std::atomic<int> calls{0};
    std::atomic<bool> onInvocationQueue{false};
};

// A proactor whose one group counts its runs and completes with the run number.
struct Fixture {
    explicit Fixture(bool automatic = true) {
        proactor = BRProactor::makeWithDelegate(owner);
        group = proactor->addGroupWithID(QStringLiteral("make"), automatic,
                                         [this](const std::shared_ptr<BRProactorAction>& action) {
                                             const int run = ++runs;
                                             if (gate) {
                                                 gate->wait(kTimeout);
                                             }
                                             action->setObject(run, kKey);
                                             action->complete();
                                         });
    }

    // Adds a handler and answers a function that waits for its result.
    std::function<std::shared_ptr<BRProactorResult>()> request(const Value& argument = Value()) {
        auto done = DispatchSemaphore::make();
        auto slot = std::make_shared<std::shared_ptr<BRProactorResult>>();
        group->actionForArgument(argument)->addCompletionHandler(
            [done, slot](const std::shared_ptr<BRProactorResult>& result) {
                *slot = result;
                done->signal();
            });
        return [done, slot] {
            EXPECT_TRUE(done->wait(kTimeout)) << "the handler was not called";
            return *slot;
        };
    }

    std::shared_ptr<Owner> owner = std::make_shared<Owner>();
    std::shared_ptr<BRProactor> proactor;
    std::shared_ptr<BRProactorGroup> group;
    std::atomic<int> runs{0};
    std::shared_ptr<DispatchSemaphore> gate;
};

int runOf(const std::shared_ptr<BRProactorResult>& result) {
    return static_cast<int>(result->objectForKey<int>(kKey).value_or(-1));
}

TEST(Proactor, ConcurrentRequestsForOneArgumentShareOneRunAndOneSnapshot) {
    Fixture f;
    f.gate = DispatchSemaphore::make();
    constexpr int kCallers = 32;
    std::mutex mutex;
    std::set<BRProactorResult*> snapshots;
    auto served = DispatchGroup::make();
    std::vector<std::thread> callers;
    for (int i = 0; i < kCallers; ++i) {
        served->enter();
        callers.emplace_back([&] {
            f.proactor->groupWithID(QStringLiteral("make"))
                ->actionForArgument(QStringLiteral("shared"))
                ->addCompletionHandler([&](const std::shared_ptr<BRProactorResult>& result) {
                    {
                        std::lock_guard lock(mutex);
                        snapshots.insert(result.get());
                    }
                    EXPECT_EQ(runOf(result), 1);
                    served->leave();
                });
        });
    }
    for (auto& caller : callers) {
        caller.join();
    }
    f.gate->signal();
    ASSERT_TRUE(served->wait(kTimeout));
    EXPECT_EQ(f.runs, 1);
    EXPECT_EQ(snapshots.size(), 1u);
}

TEST(Proactor, CompletedActionAnswersAtOnceUntilResetThenRunsAgain) {
    Fixture f;
    const auto first = f.request(QStringLiteral("a"))();
    EXPECT_EQ(runOf(first), 1);
    auto action = f.group->actionForArgument(QStringLiteral("a"));
    EXPECT_TRUE(action->isCompleted());

    const auto again = f.request(QStringLiteral("a"))();
    EXPECT_EQ(runOf(again), 1);
    EXPECT_NE(again.get(), first.get()) << "each late handler gets a copy of its own";
    EXPECT_EQ(f.runs, 1);

    action->reset();
    const auto fresh = f.request(QStringLiteral("a"))();
    EXPECT_EQ(runOf(fresh), 2);
    EXPECT_EQ(runOf(first), 1) << "a snapshot must not change when the action runs again";
}

TEST(Proactor, ActionsAreKeyedByArgumentEqualityAndNullIsTheDefaultAction) {
    Fixture f;
    EXPECT_EQ(f.group->actionForArgument(QStringLiteral("x")), (*f.group)[QStringLiteral("x")]);
    EXPECT_EQ(f.group->actionForArgument(Value(1)), f.group->actionForArgument(Value(1.0)));
    EXPECT_NE(f.group->actionForArgument(QStringLiteral("x")),
              f.group->actionForArgument(QStringLiteral("y")));
    EXPECT_EQ(f.group->defaultAction(), f.group->actionForArgument(Value()));
    EXPECT_TRUE(f.group->defaultAction()->argument().isNull());
    EXPECT_EQ(f.group->defaultAction()->groupID(), QStringLiteral("make"));
    EXPECT_EQ((*f.proactor)[QStringLiteral("make")], f.group);
    EXPECT_EQ(f.proactor->groupWithID(QStringLiteral("unknown")), nullptr);
}

TEST(Proactor, EventsOutsideTheirStatesAreIgnored) {
    Fixture f;
    f.gate = DispatchSemaphore::make();
    auto action = f.group->actionForArgument(QStringLiteral("a"));

    action->complete(); // idle: nothing to complete
    action->reset();    // idle: nothing to reset
    auto wait = f.request(QStringLiteral("a"));
    ASSERT_TRUE(platform::MainRunLoop::runUntil([&] { return f.runs == 1; }, kTimeout));

    action->start();   // running: ignored
    action->reset();   // running: ignored
    action->restart(); // running: ignored
    f.gate->signal();
    const auto result = wait();
    EXPECT_EQ(runOf(result), 1);
    EXPECT_EQ(f.runs, 1);
    EXPECT_TRUE(action->isCompleted());

    action->start(); // completed: ignored, the result stays
    EXPECT_EQ(runOf(f.request(QStringLiteral("a"))()), 1);
    EXPECT_EQ(f.runs, 1);
}

TEST(Proactor, ManualGroupWaitsInIdleUntilStarted) {
    Fixture f(false);
    auto wait = f.request();
    auto action = f.group->defaultAction();
    // Handlers queue up without a run; give the internal queue a chance to show otherwise.
    EXPECT_FALSE(action->isCompleted());
    EXPECT_EQ(f.runs, 0);
    action->start();
    EXPECT_EQ(runOf(wait()), 1);
    EXPECT_EQ(f.runs, 1);
}

TEST(Proactor, HooksRunInOrderAfterTheHandlerAndBeforeTheHandlersAreServed) {
    Fixture f(false);
    auto action = f.group->actionForArgument(QStringLiteral("h"));
    std::mutex mutex;
    std::vector<std::string> order;
    auto note = [&](const std::string& what) {
        std::lock_guard lock(mutex);
        order.push_back(what);
    };
    action->addCompletionHook([&](const std::shared_ptr<BRProactorAction>& a) {
        note("hook 1 sees run " + std::to_string(a->objectForKey<int>(kKey).value_or(-1)));
        a->setObject(10, kKey);
        a->complete();
    });
    action->addCompletionHook([&](const std::shared_ptr<BRProactorAction>& a) {
        note("hook 2 sees " + std::to_string(a->objectForKey<int>(kKey).value_or(-1)));
        a->updateWithBlock([](BRProactorResult::Objects& objects) { objects[kKey] = 20; });
        a->complete();
    });
    auto wait = f.request(QStringLiteral("h"));
    action->start();
    const auto result = wait();
    note("handler");
    EXPECT_EQ(runOf(result), 20);
    EXPECT_EQ(order, (std::vector<std::string>{"hook 1 sees run 1", "hook 2 sees 10", "handler"}));

    // Hooks belong to one run: a restart runs without them.
    action->restart();
    ASSERT_TRUE(
        platform::MainRunLoop::runUntil([&] { return f.runs == 2 && action->isCompleted(); }, kTimeout));
    EXPECT_EQ(action->objectForKey<int>(kKey), 2);
}

TEST(Proactor, RestartDiscardsTheOldResultAndLaterHandlersGetTheNewOne) {
    Fixture f;
    auto action = f.group->actionForArgument(QStringLiteral("r"));
    EXPECT_EQ(runOf(f.request(QStringLiteral("r"))()), 1);
    action->setObject(QStringLiteral("stale"), QStringLiteral("extra"));
    action->restart();
    const auto result = f.request(QStringLiteral("r"))();
    EXPECT_EQ(runOf(result), 2);
    EXPECT_FALSE(result->objectForKey(QStringLiteral("extra")).has_value());
}

TEST(Proactor, ResultStoresIgnoreEmptyObjectsAndKeepErrors) {
    Fixture f(false);
    auto action = f.group->defaultAction();
    action->setObject(QStringLiteral("kept"), QStringLiteral("k"));
    action->setObject(std::any(), QStringLiteral("k"));
    action->setObject(QStringLiteral("ignored"), QString());
    EXPECT_EQ(action->objectForKey<QString>(QStringLiteral("k")), QStringLiteral("kept"));

    EXPECT_FALSE(action->error().has_value());
    action->setObject(QStringLiteral("not an error"), QStringLiteral("error"));
    EXPECT_FALSE(action->error().has_value());
    action->setError(platform::Error(QStringLiteral("test"), 7));
    ASSERT_TRUE(action->error().has_value());
    EXPECT_EQ(action->error()->code(), 7);
}

TEST(Proactor, FreshRunPerRequestWhenTheHandlerCompletesAndResets) {
    auto owner = std::make_shared<Owner>();
    auto proactor = BRProactor::makeWithDelegate(owner);
    std::atomic<int> runs{0};
    auto group = proactor->addGroupWithID(QStringLiteral("connect"), true,
                                          [&](const std::shared_ptr<BRProactorAction>& action) {
                                              action->setObject(++runs, kKey);
                                              action->complete();
                                              action->reset();
                                          });
    for (int expected = 1; expected <= 3; ++expected) {
        auto done = DispatchSemaphore::make();
        std::atomic<int> seen{0};
        group->defaultAction()->addCompletionHandler([&](const std::shared_ptr<BRProactorResult>& result) {
            seen = result->objectForKey<int>(kKey).value_or(-1);
            done->signal();
        });
        ASSERT_TRUE(done->wait(kTimeout));
        EXPECT_EQ(seen, expected);
        // A request that comes between the handler's complete and reset is
        // answered from the completed run; once reset, the next one runs anew.
        ASSERT_TRUE(platform::MainRunLoop::runUntil([&] { return !group->defaultAction()->isCompleted(); },
                                                    kTimeout));
    }
}

TEST(Proactor, DelegateMethodGroupsRunOnTheInvocationQueueAndFailOnceTheDelegateIsGone) {
    auto owner = std::make_shared<Owner>();
    auto proactor = BRProactor::makeWithDelegate(owner);
    auto group = proactor->addGroupWithID(QStringLiteral("thing"), true, &Owner::makeThing);

    auto done = DispatchSemaphore::make();
    std::shared_ptr<BRProactorResult> result;
    group->actionForArgument(QStringLiteral("x"))
        ->addCompletionHandler([&](const std::shared_ptr<BRProactorResult>& r) {
            result = r;
            done->signal();
        });
    ASSERT_TRUE(done->wait(kTimeout));
    EXPECT_EQ(result->objectForKey<QString>(kKey), QStringLiteral("made for x"));
    EXPECT_EQ(owner->calls, 1);
    EXPECT_TRUE(owner->onInvocationQueue);
    EXPECT_EQ(result->delegate(), owner);

    // Results hold their delegate: let go of ours, and wait for the last
    // dispatched handler block to let go of its copy.
    result.reset();
    std::weak_ptr<Owner> weakOwner = owner;
    owner.reset();
    ASSERT_TRUE(platform::MainRunLoop::runUntil([&] { return weakOwner.expired(); }, kTimeout));
    group->actionForArgument(QStringLiteral("y"))
        ->addCompletionHandler([&](const std::shared_ptr<BRProactorResult>& r) {
            result = r;
            done->signal();
        });
    ASSERT_TRUE(done->wait(kTimeout)) << "waiters must not be stranded when the delegate is gone";
    const auto error = std::any_cast<platform::Error>(result->error());
    EXPECT_EQ(error.domain(), BRProactor::ErrorDomain);
}

TEST(Proactor, ProactorAndItsActionsGoAwayWithTheirOwner) {
    std::weak_ptr<BRProactorAction> weakAction;
    std::weak_ptr<BRProactor> weakProactor;
    {
        Fixture f;
        f.request(QStringLiteral("a"))();
        weakAction = f.group->actionForArgument(QStringLiteral("a"));
        weakProactor = f.proactor;
    }
    // Work queued on the invocation queue may still hold the action briefly.
    EXPECT_TRUE(platform::MainRunLoop::runUntil(
        [&] { return weakAction.expired() && weakProactor.expired(); }, kTimeout));
}

using ProactorDeathTest = testing::Test;

TEST_F(ProactorDeathTest, MisuseStopsTheProcessWithTheParameterText) {
    EXPECT_DEATH(BRProactor::makeWithDelegate(nullptr), "Invalid parameter not satisfying: delegate");
    EXPECT_DEATH(
        {
            auto owner = std::make_shared<Owner>();
            auto proactor = BRProactor::makeWithDelegate(owner);
            auto handler = [](const std::shared_ptr<BRProactorAction>&) {};
            proactor->addGroupWithID(QStringLiteral("twice"), true, handler);
            proactor->addGroupWithID(QStringLiteral("twice"), true, handler);
        },
        "Invalid parameter not satisfying: !self.groupsByID\\[groupID\\]");
    EXPECT_DEATH(BRProactorResult::makeWithAction(nullptr), "Invalid parameter not satisfying: action");
}

} // namespace
