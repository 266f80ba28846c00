#include "BRStateMachine.h"

BRStateMachine::BRStateMachine(std::weak_ptr<void> target, long initialState)
    : target_(std::move(target)), state_(initialState) {}

BRStateMachine::TransitionHandle BRStateMachine::addTransition(std::optional<long> action,
                                                               std::optional<long> fromState,
                                                               std::optional<long> toState,
                                                               BRStateMachineTransition::Handler handler) {
    const TransitionHandle handle = nextHandle_++;
    transitions_.emplace_back(handle,
                              BRStateMachineTransition{action, fromState, toState, std::move(handler)});
    return handle;
}

void BRStateMachine::removeTransition(TransitionHandle handle) {
    std::erase_if(transitions_, [handle](const auto& entry) { return entry.first == handle; });
}

void BRStateMachine::performAction(long action, BRStateMachineTransitionInfo::UserInfo userInfo) {
    BRStateMachineTransitionInfo info{target_, this, action, state_, state_, std::move(userInfo)};
    std::vector<BRStateMachineTransition::Handler> handlers;
    for (const auto& [handle, transition] : transitions_) {
        if (transition.matches(action, info.fromState)) {
            if (transition.toState) {
                info.toState = *transition.toState;
            }
            if (transition.handler) {
                handlers.push_back(transition.handler);
            }
        }
    }
    state_ = info.toState;
    for (const auto& handler : handlers) {
        handler(info);
    }
}
