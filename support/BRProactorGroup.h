#pragma once

#include "platform/DispatchQueue.h"
#include "platform/Value.h"

#include <QString>

#include <functional>
#include <memory>
#include <unordered_map>

class BRProactor;
class BRProactorAction;

// One kind of operation of a proactor: its handler and one action per
// argument value (arguments compare with `platform::Value` equality; the
// null value stands for "no argument"). Actions are never removed.
class BRProactorGroup : public std::enable_shared_from_this<BRProactorGroup> {
public:
    using HandlerBlock = std::function<void(const std::shared_ptr<BRProactorAction>& action)>;

    // `init` is unavailable: a group belongs to a proactor.
    static std::shared_ptr<BRProactorGroup> makeWithIdentifier(const QString& groupID,
                                                               const std::shared_ptr<BRProactor>& proactor,
                                                               bool startsActionAutomatically,
                                                               HandlerBlock handlerBlock);

    const QString& identifier() const { return identifier_; }
    std::shared_ptr<BRProactor> proactor() const { return proactor_.lock(); }
    bool startsActionAutomatically() const { return startsActionAutomatically_; }
    const HandlerBlock& handlerBlock() const { return handlerBlock_; }
    const std::shared_ptr<platform::DispatchQueue>& internalQueue() const { return internalQueue_; }

    // The action for the argument, made on first request.
    std::shared_ptr<BRProactorAction> actionForArgument(const platform::Value& argument);
    std::shared_ptr<BRProactorAction> operator[](const platform::Value& argument) {
        return actionForArgument(argument);
    }
    std::shared_ptr<BRProactorAction> defaultAction() { return actionForArgument(platform::Value()); }

private:
    BRProactorGroup() = default;

    QString identifier_;
    std::weak_ptr<BRProactor> proactor_;
    bool startsActionAutomatically_ = false;
    HandlerBlock handlerBlock_;
    std::shared_ptr<platform::DispatchQueue> internalQueue_;
    // Touched only on the internal queue.
    std::unordered_map<platform::Value, std::shared_ptr<BRProactorAction>> actionsByArgument_;
};
