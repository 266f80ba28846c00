#pragma once

#include "platform/Error.h"

#include <QString>

#include <any>
#include <map>
#include <memory>
#include <optional>

class BRProactorAction;
class BRProactorDelegate;

// The object when it holds a T.
template <typename T> std::optional<T> BRProactorObjectAs(const std::any& object) {
    if (const T* typed = std::any_cast<T>(&object)) {
        return *typed;
    }
    return std::nullopt;
}

// The outcome of an action's run: values by key, chosen by the group's
// handler; "error" is reserved for the run's failure. Handlers receive
// copies (snapshots) that later changes to the action do not reach.
class BRProactorResult {
public:
    using Objects = std::map<QString, std::any>;

    // `init` is unavailable: a result belongs to an action.
    static std::shared_ptr<BRProactorResult> makeWithAction(const std::shared_ptr<BRProactorAction>& action);

    std::shared_ptr<BRProactorAction> action() const;
    std::shared_ptr<BRProactorDelegate> delegate() const;
    const Objects& objectsByKey() const { return objects_; }
    Objects& objectsByKey() { return objects_; }

    // The object under the key; empty when there is none.
    std::any objectForKey(const QString& key) const;
    std::any operator[](const QString& key) const { return objectForKey(key); }
    // The object under the key when it has type T.
    template <typename T> std::optional<T> objectForKey(const QString& key) const {
        return BRProactorObjectAs<T>(objectForKey(key));
    }
    // An empty object or a null key leaves the result as it is.
    void setObject(std::any object, const QString& key);
    // Whatever is stored under "error".
    std::any error() const { return objectForKey(QStringLiteral("error")); }

    // A new result of the same action with a shallow copy of the values.
    std::shared_ptr<BRProactorResult> copy() const;

private:
    friend class BRProactorAction;
    BRProactorResult() = default;
    // The action's own result refers to it (and its delegate) weakly, so that
    // the two do not keep each other alive; copies handed out hold them.
    static std::shared_ptr<BRProactorResult> makeOwnedBy(const std::shared_ptr<BRProactorAction>& action);

    std::weak_ptr<BRProactorAction> weakAction_;
    std::shared_ptr<BRProactorAction> strongAction_;
    std::weak_ptr<BRProactorDelegate> weakDelegate_;
    std::shared_ptr<BRProactorDelegate> strongDelegate_;
    Objects objects_;
};
