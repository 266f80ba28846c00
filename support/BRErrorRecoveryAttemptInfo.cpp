#include "BRErrorRecoveryAttemptInfo.h"

#include "BRAssertions.h"
#include "BRErrorRecovery.h"
#include "platform/DispatchQueue.h"

PLATFORM_DEFINE_CLASS(BRErrorRecoveryAttemptInfo, platform::Object, nullptr)

std::shared_ptr<BRErrorRecoveryAttemptInfo>
BRErrorRecoveryAttemptInfo::recoveryAttemptInfoWithBlock(RecoveryAttemptBlock block) {
    std::shared_ptr<BRErrorRecoveryAttemptInfo> info(new BRErrorRecoveryAttemptInfo);
    info->block_ = std::move(block);
    info->group_ = platform::DispatchGroup::make();
    info->group_->enter();
    return info;
}

BRErrorRecoveryAttemptInfo::~BRErrorRecoveryAttemptInfo() {
    leaveGroup();
}

std::shared_ptr<platform::DispatchGroup> BRErrorRecoveryAttemptInfo::recoveryFinishAwaitingGroup() const {
    std::lock_guard lock(mutex_);
    return group_;
}

void BRErrorRecoveryAttemptInfo::setLaunched(bool launched) {
    if (launched_.exchange(launched) != launched) {
        didChangeValueForKey(QStringLiteral("launched"));
    }
}

void BRErrorRecoveryAttemptInfo::setCancelled(bool cancelled) {
    if (state_->cancelled.exchange(cancelled) != cancelled) {
        didChangeValueForKey(QStringLiteral("cancelled"));
    }
}

void BRErrorRecoveryAttemptInfo::leaveGroup() {
    std::shared_ptr<platform::DispatchGroup> group;
    {
        std::lock_guard lock(mutex_);
        group.swap(group_);
    }
    if (group) {
        group->leave();
    }
}

void BRErrorRecoveryAttemptInfo::startRecoveryOfError(const platform::Error& error,
                                                      CancellationBlock cancellationBlock) {
    setLaunched(true);
    if (const auto cause = error.underlyingError()) {
        if (auto underlying = recoveryAttemptInfo(*cause)) {
            underlying->setLaunched(true);
        }
    }
    std::lock_guard lock(mutex_);
    cancellationBlock_ = std::move(cancellationBlock);
}

std::optional<platform::Error> BRErrorRecoveryAttemptInfo::finishRecoveryOfError(const platform::Error& error,
                                                                                 std::size_t optionIndex) {
    BRParameterAssertText(!isCancelled(), "![self isCancelled]");
    setLaunched(false);
    const auto cause = error.underlyingError();
    if (cause) {
        if (auto underlying = recoveryAttemptInfo(*cause)) {
            underlying->setLaunched(false);
        }
    }
    if (block_) {
        return block_(error, optionIndex);
    }
    if (cause && recoveryAttemptInfo(*cause)) {
        return recoverWithIndexOfOption(*cause, optionIndex);
    }
    return std::nullopt;
}

void BRErrorRecoveryAttemptInfo::noNeedForRecoveryOfError(const platform::Error& error) {
    if (isLaunched()) {
        setLaunched(false);
        setCancelled(true);
        if (const auto cause = error.underlyingError()) {
            if (auto underlying = recoveryAttemptInfo(*cause)) {
                underlying->setLaunched(false);
                underlying->setCancelled(true);
            }
        }
        CancellationBlock cancellation;
        {
            std::lock_guard lock(mutex_);
            cancellation = cancellationBlock_;
        }
        if (cancellation) {
            cancellation(std::static_pointer_cast<BRErrorRecoveryAttemptInfo>(shared_from_this()));
        }
    }
    leaveGroup();
}

void BRErrorRecoveryAttemptInfo::notifyRecoveryCompletionWithBlock(
    std::function<void(bool recovered)> block) {
    auto notify = [state = state_, block = std::move(block)] { block(!state->cancelled); };
    if (auto group = recoveryFinishAwaitingGroup()) {
        group->notify(platform::DispatchQueue::main(), std::move(notify));
    } else {
        platform::DispatchQueue::main()->async(std::move(notify));
    }
}
