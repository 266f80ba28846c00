#pragma once

#include "BRStateMachineTransition.h"

#include <cstdint>
#include <memory>
#include <vector>

// A table-driven state machine. Performing an event collects every matching
// transition in the order they were added, moves to the state the last of
// them names (or stays), and only then calls their handlers in order, each
// with its own copy of the transition info. Handlers may perform further
// events (the state is already updated when they run). An event that matches
// nothing changes nothing. The machine is not thread-safe: its owner uses it
// from one queue.
class BRStateMachine {
public:
    using TransitionHandle = std::uint64_t;

    BRStateMachine(std::weak_ptr<void> target, long initialState);
    BRStateMachine(const BRStateMachine&) = delete;
    BRStateMachine& operator=(const BRStateMachine&) = delete;

    long state() const { return state_; }
    TransitionHandle addTransition(std::optional<long> action, std::optional<long> fromState,
                                   std::optional<long> toState, BRStateMachineTransition::Handler handler);
    void removeTransition(TransitionHandle handle);
    void performAction(long action, BRStateMachineTransitionInfo::UserInfo userInfo = {});

private:
    std::weak_ptr<void> target_;
    long state_;
    TransitionHandle nextHandle_ = 1;
    std::vector<std::pair<TransitionHandle, BRStateMachineTransition>> transitions_;
};
