#pragma once

#include "BRErrorRecoveryAttemptInfo.h"
#include "platform/Error.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

// Errors that carry texts for an alert and a recovery attempt for its buttons.

inline const QString BRErrorAccessibilityIdentifierKey = QStringLiteral("BRErrorAccessibilityIdentifier");
inline const QString BRErrorRecoveryAttemptInfoKey =
    QStringLiteral("com.kestrel.DesktopClient.error-recovery.Attempt-info");

// An error with the alert's texts and buttons (the first is the default) and
// a new recovery attempt made with the block.
platform::Error errorWithDomain(const QString& domain, std::int64_t code, const QString& description,
                                const QString& recoverySuggestion, const QStringList& recoveryOptions,
                                const platform::Value::Dictionary& userInfo,
                                BRErrorRecoveryAttemptInfo::RecoveryAttemptBlock recoveryAttemptBlock);
// An error with the alert's texts and a single button, without an attempt.
platform::Error errorWithDomain(const QString& domain, std::int64_t code, const QString& description,
                                const QString& recoverySuggestion, const QString& recoveryOption,
                                const platform::Value::Dictionary& userInfo);
// A copy of the error with a new attempt made with the block.
platform::Error
errorWithRecoveryAttemptBlock(const platform::Error& error,
                              BRErrorRecoveryAttemptInfo::RecoveryAttemptBlock recoveryAttemptBlock);

// Maps an option chosen on an overriding error's alert to the option of the error it overrides.
using BROptionMappingBlock =
    std::function<std::size_t(const platform::Error& error, std::size_t optionIndex)>;
// A new error presented instead of `error` (which becomes its underlying
// error and must carry an attempt): choosing an option maps it through the
// block (when given) and recovers `error` with the result; when the attempt
// of `error` ends, so does the new error's. The given user info is merged
// under the texts, the underlying error and the attempt.
platform::Error overrideWithErrorWithDomain(const platform::Error& error, const QString& domain,
                                            std::int64_t code, const QString& description,
                                            const QString& recoverySuggestion,
                                            const QStringList& recoveryOptions,
                                            const platform::Value::Dictionary& userInfo,
                                            BROptionMappingBlock optionMappingBlock);

// The attempt in the error's user info, when it has the right class.
std::shared_ptr<BRErrorRecoveryAttemptInfo> recoveryAttemptInfo(const platform::Error& error);

// These require an attempt: without one they fail the assertion
// "nil != self.recoveryAttemptInfo".
std::optional<platform::Error> recoverWithIndexOfOption(const platform::Error& error,
                                                        std::size_t optionIndex);
void noNeedForRecovery(const platform::Error& error);
void notifyRecoveryCompletionWithBlock(const platform::Error& error,
                                       std::function<void(bool recovered)> block);

// The attempt's `launched` and `cancelled` (false without an attempt).
bool isPresentationLaunched(const platform::Error& error);
bool isPresentationCancelled(const platform::Error& error);
