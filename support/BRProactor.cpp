#include "BRProactor.h"

#include "BRAssertions.h"
#include "BRDispatch.h"

const QString BRProactor::ErrorDomain = QStringLiteral("com.brindle.proactor");

std::shared_ptr<platform::DispatchQueue> BRProactor::invocationQueue() {
    return platform::DispatchQueue::global(platform::QualityOfService::Utility);
}

std::shared_ptr<BRProactor>
BRProactor::makeWithDelegate(const std::shared_ptr<BRProactorDelegate>& delegate) {
    BRParameterAssert(delegate);
    std::shared_ptr<BRProactor> proactor(new BRProactor);
    proactor->delegate_ = delegate;
    proactor->internalQueue_ = BRBuildInternalDispatchQueue(QStringLiteral("Proactor"));
    return proactor;
}

std::shared_ptr<BRProactorGroup> BRProactor::addGroupWithID(const QString& groupID,
                                                            bool startsActionAutomatically,
                                                            BRProactorGroup::HandlerBlock handlerBlock) {
    BRParameterAssertText(!groupID.isNull(), "groupID");
    BRParameterAssertText(handlerBlock, "handlerBlock");
    auto group = BRProactorGroup::makeWithIdentifier(groupID, shared_from_this(), startsActionAutomatically,
                                                     std::move(handlerBlock));
    internalQueue_->sync([&] {
        BRParameterAssertText(!groupsByID_.contains(groupID), "!self.groupsByID[groupID]");
        groupsByID_.insert(groupID, group);
    });
    return group;
}

std::shared_ptr<BRProactorGroup> BRProactor::groupWithID(const QString& groupID) const {
    BRParameterAssertText(!groupID.isNull(), "groupID");
    std::shared_ptr<BRProactorGroup> group;
    internalQueue_->sync([&] { group = groupsByID_.value(groupID); });
    return group;
}

std::shared_ptr<BRProactorDelegate> BRProactor::delegateOf(const std::shared_ptr<BRProactorAction>& action) {
    auto group = action->group();
    auto proactor = group ? group->proactor() : nullptr;
    return proactor ? proactor->delegate_.lock() : nullptr;
}

void BRProactor::completeWithoutDelegate(const std::shared_ptr<BRProactorAction>& action) {
    action->setError(platform::Error(
        ErrorDomain, DelegateGone,
        {{platform::NSLocalizedDescriptionKey,
          QStringLiteral("The object that performs \"%1\" no longer exists").arg(action->groupID())}}));
    action->complete();
}
