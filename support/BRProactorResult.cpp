#include "BRProactorResult.h"

#include "BRAssertions.h"
#include "BRProactorAction.h"

std::shared_ptr<BRProactorResult>
BRProactorResult::makeWithAction(const std::shared_ptr<BRProactorAction>& action) {
    BRParameterAssert(action);
    auto result = makeOwnedBy(action);
    result->strongAction_ = action;
    result->strongDelegate_ = result->weakDelegate_.lock();
    return result;
}

std::shared_ptr<BRProactorResult>
BRProactorResult::makeOwnedBy(const std::shared_ptr<BRProactorAction>& action) {
    std::shared_ptr<BRProactorResult> result(new BRProactorResult);
    result->weakAction_ = action;
    result->weakDelegate_ = action->delegate();
    return result;
}

std::shared_ptr<BRProactorAction> BRProactorResult::action() const {
    return strongAction_ ? strongAction_ : weakAction_.lock();
}

std::shared_ptr<BRProactorDelegate> BRProactorResult::delegate() const {
    return strongDelegate_ ? strongDelegate_ : weakDelegate_.lock();
}

std::any BRProactorResult::objectForKey(const QString& key) const {
    const auto it = objects_.find(key);
    return it == objects_.end() ? std::any() : it->second;
}

void BRProactorResult::setObject(std::any object, const QString& key) {
    if (!object.has_value() || key.isNull()) {
        return;
    }
    objects_[key] = std::move(object);
}

std::shared_ptr<BRProactorResult> BRProactorResult::copy() const {
    std::shared_ptr<BRProactorResult> copied(new BRProactorResult);
    copied->weakAction_ = weakAction_;
    copied->strongAction_ = action();
    copied->weakDelegate_ = weakDelegate_;
    copied->strongDelegate_ = delegate();
    copied->objects_ = objects_;
    return copied;
}
