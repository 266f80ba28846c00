#include "BRErrorRecovery.h"

#include "BRAssertions.h"

using platform::Error;
using platform::Value;

namespace {

Value::Dictionary alertInfo(const Value::Dictionary& userInfo, const QString& description,
                            const QString& recoverySuggestion, const QStringList& recoveryOptions) {
    Value::Dictionary info = userInfo;
    info.insert(platform::NSLocalizedDescriptionKey, description);
    info.insert(platform::NSLocalizedRecoverySuggestionErrorKey, recoverySuggestion);
    info.insert(platform::NSLocalizedRecoveryOptionsErrorKey, recoveryOptions);
    return info;
}

std::shared_ptr<BRErrorRecoveryAttemptInfo> requiredAttempt(const Error& error) {
    auto info = recoveryAttemptInfo(error);
    BRParameterAssertText(info, "nil != self.recoveryAttemptInfo");
    return info;
}

} // namespace

Error errorWithDomain(const QString& domain, std::int64_t code, const QString& description,
                      const QString& recoverySuggestion, const QStringList& recoveryOptions,
                      const Value::Dictionary& userInfo,
                      BRErrorRecoveryAttemptInfo::RecoveryAttemptBlock recoveryAttemptBlock) {
    Value::Dictionary info = alertInfo(userInfo, description, recoverySuggestion, recoveryOptions);
    info.insert(BRErrorRecoveryAttemptInfoKey,
                BRErrorRecoveryAttemptInfo::recoveryAttemptInfoWithBlock(std::move(recoveryAttemptBlock)));
    return Error(domain, code, info);
}

Error errorWithDomain(const QString& domain, std::int64_t code, const QString& description,
                      const QString& recoverySuggestion, const QString& recoveryOption,
                      const Value::Dictionary& userInfo) {
    return Error(domain, code, alertInfo(userInfo, description, recoverySuggestion, {recoveryOption}));
}

Error errorWithRecoveryAttemptBlock(const Error& error,
                                    BRErrorRecoveryAttemptInfo::RecoveryAttemptBlock recoveryAttemptBlock) {
    Value::Dictionary info = error.userInfo();
    info.insert(BRErrorRecoveryAttemptInfoKey,
                BRErrorRecoveryAttemptInfo::recoveryAttemptInfoWithBlock(std::move(recoveryAttemptBlock)));
    return Error(error.domain(), error.code(), info);
}

Error overrideWithErrorWithDomain(const Error& error, const QString& domain, std::int64_t code,
                                  const QString& description, const QString& recoverySuggestion,
                                  const QStringList& recoveryOptions, const Value::Dictionary& userInfo,
                                  BROptionMappingBlock optionMappingBlock) {
    auto overridden = requiredAttempt(error);
    Value::Dictionary info = alertInfo(userInfo, description, recoverySuggestion, recoveryOptions);
    info.insert(platform::NSUnderlyingErrorKey, error);
    auto attempt = BRErrorRecoveryAttemptInfo::recoveryAttemptInfoWithBlock(
        [error, optionMappingBlock = std::move(optionMappingBlock)](const Error& presented,
                                                                    std::size_t optionIndex) {
            const std::size_t mapped =
                optionMappingBlock ? optionMappingBlock(presented, optionIndex) : optionIndex;
            return recoverWithIndexOfOption(error, mapped);
        });
    info.insert(BRErrorRecoveryAttemptInfoKey, attempt);
    // The block waits in the overridden attempt's group, which that attempt
    // (and so `error`) owns: it holds neither error, only the new attempt, weakly.
    std::weak_ptr<BRErrorRecoveryAttemptInfo> weakAttempt = attempt;
    overridden->notifyRecoveryCompletionWithBlock([weakAttempt, domain, code](bool) {
        if (auto alive = weakAttempt.lock()) {
            alive->noNeedForRecoveryOfError(Error(domain, code));
        }
    });
    return Error(domain, code, info);
}

std::shared_ptr<BRErrorRecoveryAttemptInfo> recoveryAttemptInfo(const Error& error) {
    return error.userInfo().value(BRErrorRecoveryAttemptInfoKey).toObject<BRErrorRecoveryAttemptInfo>();
}

std::optional<Error> recoverWithIndexOfOption(const Error& error, std::size_t optionIndex) {
    return requiredAttempt(error)->finishRecoveryOfError(error, optionIndex);
}

void noNeedForRecovery(const Error& error) {
    requiredAttempt(error)->noNeedForRecoveryOfError(error);
}

void notifyRecoveryCompletionWithBlock(const Error& error, std::function<void(bool recovered)> block) {
    requiredAttempt(error)->notifyRecoveryCompletionWithBlock(std::move(block));
}

bool isPresentationLaunched(const Error& error) {
    auto info = recoveryAttemptInfo(error);
    return info && info->isLaunched();
}

bool isPresentationCancelled(const Error& error) {
    auto info = recoveryAttemptInfo(error);
    return info && info->isCancelled();
}
