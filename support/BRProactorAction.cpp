#include "BRProactorAction.h"

#include "BRAssertions.h"
#include "BRProactor.h"
#include "BRProactorGroup.h"

namespace {
const QString kErrorKey = QStringLiteral("error");
const QString kCompletionHandlerKey = QStringLiteral("completionHandler");
const QString kCompletionHookKey = QStringLiteral("completionHook");
} // namespace

std::shared_ptr<BRProactorAction>
BRProactorAction::makeWithGroup(const std::shared_ptr<BRProactorGroup>& group,
                                const platform::Value& argument) {
    BRParameterAssert(group);
    std::shared_ptr<BRProactorAction> action(new BRProactorAction);
    action->argument_ = argument;
    action->group_ = group;
    if (auto proactor = group->proactor()) {
        action->delegate_ = proactor->delegate();
    }
    action->internalQueue_ = group->internalQueue();
    action->setupStateMachine();
    action->resetLocked();
    return action;
}

QString BRProactorAction::groupID() const {
    auto owner = group();
    return owner ? owner->identifier() : QString();
}

void BRProactorAction::setupStateMachine() {
    stateMachine_ = std::make_unique<BRStateMachine>(weak_from_this(), Idle);
    // The handlers run on the internal queue, inside `performOnQueue`; they
    // hold the action weakly because the machine is part of it.
    std::weak_ptr<BRProactorAction> weakSelf = weak_from_this();
    auto with = [weakSelf](void (BRProactorAction::*method)()) {
        return [weakSelf, method](const BRStateMachineTransitionInfo&) {
            if (auto self = weakSelf.lock()) {
                ((*self).*method)();
            }
        };
    };
    auto& machine = *stateMachine_;
    machine.addTransition(Start, Idle, Running, with(&BRProactorAction::runGroupHandler));
    machine.addTransition(Restart, Idle, Running, with(&BRProactorAction::runGroupHandler));
    machine.addTransition(Restart, Completed, Running, [weakSelf](const BRStateMachineTransitionInfo&) {
        if (auto self = weakSelf.lock()) {
            self->resetLocked();
            self->runGroupHandler();
        }
    });
    machine.addTransition(Complete, Running, Completing, with(&BRProactorAction::onComplete));
    machine.addTransition(Complete, Completing, Completing, with(&BRProactorAction::onComplete));
    machine.addTransition(Finish, Completing, Completed, with(&BRProactorAction::onFinish));
    machine.addTransition(
        AddCompletionHandler, Idle, std::nullopt, [weakSelf](const BRStateMachineTransitionInfo& info) {
            auto self = weakSelf.lock();
            if (!self) {
                return;
            }
            auto handler = std::any_cast<CompletionHandler>(info.userInfo.at(kCompletionHandlerKey));
            self->internalQueue_->async([self, handler = std::move(handler)]() mutable {
                self->completionHandlers_.push_back(std::move(handler));
                auto owner = self->group();
                if (owner && owner->startsActionAutomatically()) {
                    self->start();
                }
            });
        });
    auto append = [weakSelf](const BRStateMachineTransitionInfo& info) {
        if (auto self = weakSelf.lock()) {
            self->completionHandlers_.push_back(
                std::any_cast<CompletionHandler>(info.userInfo.at(kCompletionHandlerKey)));
        }
    };
    machine.addTransition(AddCompletionHandler, Running, std::nullopt, append);
    machine.addTransition(AddCompletionHandler, Completing, std::nullopt, append);
    machine.addTransition(
        AddCompletionHandler, Completed, std::nullopt, [weakSelf](const BRStateMachineTransitionInfo& info) {
            auto self = weakSelf.lock();
            if (!self) {
                return;
            }
            auto handler = std::any_cast<CompletionHandler>(info.userInfo.at(kCompletionHandlerKey));
            BRProactor::invocationQueue()->async(
                [handler = std::move(handler), result = self->result_->copy()] { handler(result); });
        });
    machine.addTransition(AddCompletionHook, std::nullopt, std::nullopt,
                          [weakSelf](const BRStateMachineTransitionInfo& info) {
                              if (auto self = weakSelf.lock()) {
                                  self->completionHooks_.push_back(
                                      std::any_cast<CompletionHook>(info.userInfo.at(kCompletionHookKey)));
                              }
                          });
    machine.addTransition(Reset, Completed, Idle, with(&BRProactorAction::resetLocked));
}

void BRProactorAction::performOnQueue(Event event, BRStateMachineTransitionInfo::UserInfo userInfo) {
    internalQueue_->async([self = shared_from_this(), event, userInfo = std::move(userInfo)]() mutable {
        self->stateMachine_->performAction(event, std::move(userInfo));
    });
}

void BRProactorAction::resetLocked() {
    result_ = BRProactorResult::makeOwnedBy(shared_from_this());
    completionHandlers_.clear();
    completionHooks_.clear();
}

void BRProactorAction::runGroupHandler() {
    auto owner = group();
    if (!owner) {
        return;
    }
    BRProactor::invocationQueue()->async(
        [handler = owner->handlerBlock(), self = shared_from_this()] { handler(self); });
}

void BRProactorAction::onComplete() {
    if (completionHooks_.empty()) {
        stateMachine_->performAction(Finish);
        return;
    }
    CompletionHook hook = std::move(completionHooks_.front());
    completionHooks_.erase(completionHooks_.begin());
    BRProactor::invocationQueue()->async([hook = std::move(hook), self = shared_from_this()] { hook(self); });
}

void BRProactorAction::onFinish() {
    const auto snapshot = result_->copy();
    std::vector<CompletionHandler> handlers;
    handlers.swap(completionHandlers_);
    for (auto& handler : handlers) {
        BRProactor::invocationQueue()->async([handler = std::move(handler), snapshot] { handler(snapshot); });
    }
}

void BRProactorAction::start() {
    performOnQueue(Start);
}
void BRProactorAction::restart() {
    performOnQueue(Restart);
}
void BRProactorAction::complete() {
    performOnQueue(Complete);
}
void BRProactorAction::reset() {
    performOnQueue(Reset);
}

void BRProactorAction::addCompletionHandler(CompletionHandler handler) {
    performOnQueue(AddCompletionHandler, {{kCompletionHandlerKey, std::move(handler)}});
}

void BRProactorAction::addCompletionHook(CompletionHook hook) {
    internalQueue_->sync([this, &hook] {
        stateMachine_->performAction(AddCompletionHook, {{kCompletionHookKey, std::move(hook)}});
    });
}

void BRProactorAction::setObject(std::any object, const QString& key) {
    internalQueue_->sync([this, &object, &key] { result_->setObject(std::move(object), key); });
}

std::any BRProactorAction::objectForKey(const QString& key) const {
    std::any object;
    internalQueue_->sync([this, &object, &key] { object = result_->objectForKey(key); });
    return object;
}

void BRProactorAction::updateWithBlock(const std::function<void(BRProactorResult::Objects& objects)>& block) {
    internalQueue_->sync([this, &block] { block(result_->objectsByKey()); });
}

void BRProactorAction::setError(const platform::Error& error) {
    setObject(error, kErrorKey);
}

std::optional<platform::Error> BRProactorAction::error() const {
    return objectForKey<platform::Error>(kErrorKey);
}

bool BRProactorAction::isCompleted() const {
    bool completed = false;
    internalQueue_->sync([this, &completed] { completed = stateMachine_->state() == Completed; });
    return completed;
}
