#pragma once

#include "BRStateMachineTransitionInfo.h"

#include <functional>
#include <optional>

// One row of a state machine's table. An absent action or from-state
// matches anything; an absent to-state keeps the current state.
struct BRStateMachineTransition {
    using Handler = std::function<void(BRStateMachineTransitionInfo info)>;

    std::optional<long> action;
    std::optional<long> fromState;
    std::optional<long> toState;
    Handler handler;

    bool matches(long event, long state) const {
        return (!action || *action == event) && (!fromState || *fromState == state);
    }
};
