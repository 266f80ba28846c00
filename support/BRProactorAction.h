#pragma once

#include "BRProactorResult.h"
#include "BRStateMachine.h"
#include "platform/DispatchQueue.h"
#include "platform/Error.h"
#include "platform/Value.h"

#include <QString>

#include <any>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class BRProactorDelegate;
class BRProactorGroup;

// The one action of a group for one argument. Callers attach completion
// handlers; the group's handler does the work once and calls `complete`;
// completion hooks post-process the result; then every waiting handler
// receives the same snapshot. A completed action answers later handlers at
// once until it is reset or restarted.
//
// States: Idle → Running (start/restart) → Completing (complete) → Completed
// (when no hook is left); Completed → Idle (reset) or → Running (restart).
// Every other combination is ignored. All state lives on the proactor's
// internal queue; user code runs on the invocation queue.
class BRProactorAction : public std::enable_shared_from_this<BRProactorAction> {
public:
    enum State : long { Idle = 0, Running = 1, Completing = 2, Completed = 3 };
    enum Event : long {
        Start = 0,
        Restart = 1,
        Complete = 2,
        Finish = 3,
        AddCompletionHandler = 4,
        AddCompletionHook = 5,
        Reset = 6,
    };
    using CompletionHandler = std::function<void(const std::shared_ptr<BRProactorResult>& result)>;
    using CompletionHook = std::function<void(const std::shared_ptr<BRProactorAction>& action)>;

    static std::shared_ptr<BRProactorAction> makeWithGroup(const std::shared_ptr<BRProactorGroup>& group,
                                                           const platform::Value& argument);

    // The null value for the group's default action.
    const platform::Value& argument() const { return argument_; }
    std::shared_ptr<BRProactorGroup> group() const { return group_.lock(); }
    QString groupID() const;
    std::weak_ptr<BRProactorDelegate> delegate() const { return delegate_; }
    const std::shared_ptr<platform::DispatchQueue>& internalQueue() const { return internalQueue_; }

    void start();
    void restart();
    void complete();
    void reset();
    void addCompletionHandler(CompletionHandler handler);
    void addCompletionHook(CompletionHook hook);

    // Reads and writes of the current result. An empty object or a null key is ignored.
    void setObject(std::any object, const QString& key);
    std::any objectForKey(const QString& key) const;
    template <typename T> std::optional<T> objectForKey(const QString& key) const {
        return BRProactorObjectAs<T>(objectForKey(key));
    }
    // Several changes at once.
    void updateWithBlock(const std::function<void(BRProactorResult::Objects& objects)>& block);
    void setError(const platform::Error& error);
    // The error stored under "error", if it is one.
    std::optional<platform::Error> error() const;
    bool isCompleted() const;

private:
    BRProactorAction() = default;
    void setupStateMachine();
    void performOnQueue(Event event, BRStateMachineTransitionInfo::UserInfo userInfo = {});
    void resetLocked();
    void runGroupHandler();
    void onComplete();
    void onFinish();

    platform::Value argument_;
    std::weak_ptr<BRProactorGroup> group_;
    std::weak_ptr<BRProactorDelegate> delegate_;
    std::shared_ptr<platform::DispatchQueue> internalQueue_;

    // Touched only on the internal queue.
    std::unique_ptr<BRStateMachine> stateMachine_;
    std::shared_ptr<BRProactorResult> result_;
    std::vector<CompletionHandler> completionHandlers_;
    std::vector<CompletionHook> completionHooks_;
};
