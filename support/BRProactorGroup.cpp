#include "BRProactorGroup.h"

#include "BRAssertions.h"
#include "BRProactor.h"
#include "BRProactorAction.h"

std::shared_ptr<BRProactorGroup>
BRProactorGroup::makeWithIdentifier(const QString& groupID, const std::shared_ptr<BRProactor>& proactor,
                                    bool startsActionAutomatically, HandlerBlock handlerBlock) {
    BRParameterAssertText(!groupID.isNull(), "groupID");
    BRParameterAssertText(proactor, "proactor");
    BRParameterAssertText(handlerBlock, "handlerBlock");
    std::shared_ptr<BRProactorGroup> group(new BRProactorGroup);
    group->identifier_ = groupID;
    group->proactor_ = proactor;
    group->startsActionAutomatically_ = startsActionAutomatically;
    group->handlerBlock_ = std::move(handlerBlock);
    group->internalQueue_ = proactor->internalQueue();
    return group;
}

std::shared_ptr<BRProactorAction> BRProactorGroup::actionForArgument(const platform::Value& argument) {
    std::shared_ptr<BRProactorAction> action;
    internalQueue_->sync([&] {
        auto& slot = actionsByArgument_[argument];
        if (!slot) {
            slot = BRProactorAction::makeWithGroup(shared_from_this(), argument);
        }
        action = slot;
    });
    return action;
}
