#pragma once

#include "BRProactorAction.h"
#include "BRProactorDelegate.h"
#include "BRProactorGroup.h"
#include "platform/DispatchQueue.h"

#include <QHash>
#include <QString>

#include <memory>

// The support library's coalescing action executor. Work is organised in
// groups (one per kind of operation) with one action per argument; callers
// attach completion handlers to the action for their argument, the first
// one starts it (in groups that start automatically), and everyone waiting
// receives the same result of one run. See BRProactorAction for the life
// of an action.
class BRProactor : public std::enable_shared_from_this<BRProactor> {
public:
    // The global utility-quality concurrent queue: group handlers, hooks,
    // completion handlers and delegate methods run there.
    static std::shared_ptr<platform::DispatchQueue> invocationQueue();
    // The error a delegate-method group completes with when the delegate is gone.
    static const QString ErrorDomain;
    enum ErrorCode : long { DelegateGone = 1 };

    static std::shared_ptr<BRProactor> makeWithDelegate(const std::shared_ptr<BRProactorDelegate>& delegate);

    std::weak_ptr<BRProactorDelegate> delegate() const { return delegate_; }
    const std::shared_ptr<platform::DispatchQueue>& internalQueue() const { return internalQueue_; }

    // Registers a group; an identifier may be registered once.
    std::shared_ptr<BRProactorGroup> addGroupWithID(const QString& groupID, bool startsActionAutomatically,
                                                    BRProactorGroup::HandlerBlock handlerBlock);
    // The same, running the delegate's method with the action (on the
    // invocation queue) for each run. When the delegate no longer exists the
    // run completes at once with an error of `ErrorDomain` under "error", so
    // that its waiters are not left waiting for ever.
    template <typename Delegate>
    std::shared_ptr<BRProactorGroup> addGroupWithID(
        const QString& groupID, bool startsActionAutomatically,
        void (Delegate::*delegateHandlerSelector)(const std::shared_ptr<BRProactorAction>& action)) {
        return addGroupWithID(groupID, startsActionAutomatically,
                              [delegateHandlerSelector](const std::shared_ptr<BRProactorAction>& action) {
                                  auto delegate = delegateOf(action);
                                  auto* typed = dynamic_cast<Delegate*>(delegate.get());
                                  if (!typed) {
                                      completeWithoutDelegate(action);
                                      return;
                                  }
                                  invocationQueue()->async(
                                      [delegate, typed, delegateHandlerSelector, action] {
                                          (typed->*delegateHandlerSelector)(action);
                                      });
                              });
    }

    // The group registered under the identifier, or null.
    std::shared_ptr<BRProactorGroup> groupWithID(const QString& groupID) const;
    std::shared_ptr<BRProactorGroup> operator[](const QString& groupID) const { return groupWithID(groupID); }

private:
    BRProactor() = default;
    static std::shared_ptr<BRProactorDelegate> delegateOf(const std::shared_ptr<BRProactorAction>& action);
    static void completeWithoutDelegate(const std::shared_ptr<BRProactorAction>& action);

    std::weak_ptr<BRProactorDelegate> delegate_;
    std::shared_ptr<platform::DispatchQueue> internalQueue_;
    // Touched only on the internal queue.
    QHash<QString, std::shared_ptr<BRProactorGroup>> groupsByID_;
};
