#include "support/BRStateMachine.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

enum : long { A = 0, B = 1, C = 2 };
enum : long { Go = 10, Back = 11, Poke = 12 };

TEST(StateMachine, MovesToTheLastMatchingToStateThenCallsHandlersInOrderWithTheNewState) {
    BRStateMachine machine({}, A);
    std::vector<std::string> calls;
    machine.addTransition(Go, A, B, [&](BRStateMachineTransitionInfo info) {
        calls.push_back("first");
        EXPECT_EQ(info.fromState, A);
        EXPECT_EQ(info.toState, C);
        EXPECT_EQ(info.stateMachine->state(), C);
    });
    machine.addTransition(std::nullopt, std::nullopt, std::nullopt, [&](BRStateMachineTransitionInfo info) {
        calls.push_back("wildcard");
        EXPECT_EQ(info.action, Go);
    });
    machine.addTransition(Go, A, C, [&](BRStateMachineTransitionInfo) { calls.push_back("last"); });
    machine.addTransition(Go, B, A, [&](BRStateMachineTransitionInfo) { calls.push_back("other state"); });

    machine.performAction(Go);

    EXPECT_EQ(machine.state(), C);
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "wildcard", "last"}));
}

TEST(StateMachine, UnmatchedEventChangesNothingAndRemovedTransitionsNoLongerMatch) {
    BRStateMachine machine({}, A);
    int handled = 0;
    const auto handle = machine.addTransition(Go, A, B, [&](BRStateMachineTransitionInfo) { ++handled; });

    machine.performAction(Poke);
    EXPECT_EQ(machine.state(), A);

    machine.removeTransition(handle);
    machine.performAction(Go);
    EXPECT_EQ(machine.state(), A);
    EXPECT_EQ(handled, 0);
}

TEST(StateMachine, HandlersMayPerformNestedEventsAndEachGetsItsOwnInfo) {
    BRStateMachine machine({}, A);
    std::vector<long> seen;
    machine.addTransition(Go, A, B, [&](BRStateMachineTransitionInfo info) {
        info.userInfo["touched"] = true; // a copy: the next handler must not see it
        info.stateMachine->performAction(Back, {{QStringLiteral("why"), std::string("nested")}});
        seen.push_back(info.stateMachine->state());
    });
    machine.addTransition(Go, A, std::nullopt, [&](BRStateMachineTransitionInfo info) {
        EXPECT_EQ(info.userInfo.count(QStringLiteral("touched")), 0u);
        seen.push_back(info.toState);
    });
    machine.addTransition(Back, B, C, [&](BRStateMachineTransitionInfo info) {
        EXPECT_EQ(std::any_cast<std::string>(info.userInfo.at(QStringLiteral("why"))), "nested");
        seen.push_back(info.toState);
    });

    machine.performAction(Go);

    EXPECT_EQ(machine.state(), C);
    EXPECT_EQ(seen, (std::vector<long>{C, C, B}));
}

} // namespace
