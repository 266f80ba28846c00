#pragma once

#include "platform/DispatchGroup.h"
#include "platform/Error.h"
#include "platform/Object.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// The recovery attempt an error carries in its user info: what to do when
// the user picks one of the alert's buttons, and the state of the alert.
// An attempt ends when its presentation is withdrawn (`noNeedForRecoveryOfError`)
// or when the attempt is released; whoever waits for that
// (`notifyRecoveryCompletionWithBlock`) is told on the main queue whether
// the attempt was cancelled. Observers of "launched" and "cancelled" are told
// when those change.
class BRErrorRecoveryAttemptInfo : public platform::Object {
    PLATFORM_DECLARE_CLASS()

public:
    // Takes the error and the chosen option index; answers an error to present next, or none.
    using RecoveryAttemptBlock =
        std::function<std::optional<platform::Error>(const platform::Error& error, std::size_t optionIndex)>;
    using CancellationBlock = std::function<void(const std::shared_ptr<BRErrorRecoveryAttemptInfo>& info)>;

    static std::shared_ptr<BRErrorRecoveryAttemptInfo>
    recoveryAttemptInfoWithBlock(RecoveryAttemptBlock block);
    ~BRErrorRecoveryAttemptInfo() override;

    bool isLaunched() const { return launched_; }
    bool isCancelled() const { return state_->cancelled; }
    // Entered once at creation and left once when the attempt ends; null after that.
    std::shared_ptr<platform::DispatchGroup> recoveryFinishAwaitingGroup() const;
    const RecoveryAttemptBlock& recoveryAttemptBlock() const { return block_; }

    // The alert for the error is on screen.
    void startRecoveryOfError(const platform::Error& error, CancellationBlock cancellationBlock);
    // The user chose an option: answers the error to present next, or none.
    std::optional<platform::Error> finishRecoveryOfError(const platform::Error& error,
                                                         std::size_t optionIndex);
    // Withdraws the presentation (when one is on screen) and ends the attempt.
    void noNeedForRecoveryOfError(const platform::Error& error);
    void notifyRecoveryCompletionWithBlock(std::function<void(bool recovered)> block);

private:
    // What outlives the attempt for those waiting for its end.
    struct SharedState {
        std::atomic<bool> cancelled{false};
    };

    BRErrorRecoveryAttemptInfo() = default;
    void setLaunched(bool launched);
    void setCancelled(bool cancelled);
    void leaveGroup();

    RecoveryAttemptBlock block_;
    std::atomic<bool> launched_{false};
    std::shared_ptr<SharedState> state_ = std::make_shared<SharedState>();
    // Driven from the main thread but read from any; the group and the
    // cancellation block change together under this mutex.
    mutable std::mutex mutex_;
    std::shared_ptr<platform::DispatchGroup> group_;
    CancellationBlock cancellationBlock_;
};
