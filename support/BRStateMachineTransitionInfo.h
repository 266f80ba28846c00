#pragma once

#include <QString>

#include <any>
#include <map>
#include <memory>
#include <optional>

class BRStateMachine;

// What a transition handler is told: the machine's target, the event, the
// state it came from, the state it went to and the event's user info.
struct BRStateMachineTransitionInfo {
    using UserInfo = std::map<QString, std::any>;

    std::weak_ptr<void> target;
    BRStateMachine* stateMachine = nullptr;
    long action = 0;
    long fromState = 0;
    long toState = 0;
    UserInfo userInfo;
};
