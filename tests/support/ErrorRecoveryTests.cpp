#include "platform/MainRunLoop.h"
#include "support/BRErrorRecovery.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using platform::Error;

namespace {

const QString kDomain = QStringLiteral("test.recovery");

// What the recovery block was asked: the error's code and the option.
struct Calls {
    std::vector<std::pair<std::int64_t, std::size_t>> made;
};

Error recoverableError(std::int64_t code, Calls* calls = nullptr,
                       std::optional<Error> answer = std::nullopt) {
    return errorWithDomain(kDomain, code, QStringLiteral("Broken"), QStringLiteral("Try again"),
                           {QStringLiteral("Retry"), QStringLiteral("Cancel")},
                           {{QStringLiteral("extra"), 42}},
                           [calls, answer](const Error& error, std::size_t option) -> std::optional<Error> {
                               if (calls) {
                                   calls->made.emplace_back(error.code(), option);
                               }
                               return answer;
                           });
}

// The outcome reported by notifyRecoveryCompletionWithBlock, once it ran on
// the main queue. Shared with the block, which may outlive a failed test.
class Completion {
public:
    std::function<void(bool)> block() {
        return [outcome = outcome_](bool value) {
            outcome->onMainThread = platform::MainRunLoop::isMainThread();
            outcome->recovered = value;
        };
    }
    bool arrive() {
        return testing_support::waitUntil([outcome = outcome_] { return outcome->recovered.has_value(); });
    }
    std::optional<bool> recovered() const { return outcome_->recovered; }
    bool ranOnMainThread() const { return outcome_->onMainThread; }

private:
    struct Outcome {
        std::optional<bool> recovered;
        bool onMainThread = false;
    };
    std::shared_ptr<Outcome> outcome_ = std::make_shared<Outcome>();
};

bool groupHeld(const Error& error) {
    auto group = recoveryAttemptInfo(error)->recoveryFinishAwaitingGroup();
    return group && !group->wait(std::chrono::milliseconds(0));
}

TEST(ErrorRecovery, ErrorCarriesTheAlertTextsAndAFreshAttempt) {
    const Error error = recoverableError(7);
    EXPECT_EQ(error.domain(), kDomain);
    EXPECT_EQ(error.code(), 7);
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("Broken"));
    EXPECT_EQ(error.localizedRecoverySuggestion(), QStringLiteral("Try again"));
    EXPECT_EQ(error.localizedRecoveryOptions(),
              (QStringList{QStringLiteral("Retry"), QStringLiteral("Cancel")}));
    EXPECT_EQ(error.userInfo().value(QStringLiteral("extra")).toInteger(), 42);

    auto attempt = recoveryAttemptInfo(error);
    ASSERT_TRUE(attempt);
    EXPECT_EQ(error.userInfo().value(BRErrorRecoveryAttemptInfoKey).toObject(), attempt);
    EXPECT_FALSE(attempt->isLaunched());
    EXPECT_FALSE(attempt->isCancelled());
    EXPECT_TRUE(groupHeld(error));
}

TEST(ErrorRecovery, FinishingAnswersTheBlocksResultWithoutEndingTheAttempt) {
    Calls calls;
    const Error next(kDomain, 99);
    const Error error = recoverableError(7, &calls, next);
    auto attempt = recoveryAttemptInfo(error);
    Completion completion;
    notifyRecoveryCompletionWithBlock(error, completion.block());

    attempt->startRecoveryOfError(error, {});
    EXPECT_TRUE(isPresentationLaunched(error));
    const auto answer = recoverWithIndexOfOption(error, 1);
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->isIdenticalTo(next));
    EXPECT_EQ(calls.made, (std::vector<std::pair<std::int64_t, std::size_t>>{{7, 1}}));
    EXPECT_FALSE(isPresentationLaunched(error));

    platform::MainRunLoop::drainPending();
    EXPECT_FALSE(completion.recovered());
    EXPECT_TRUE(groupHeld(error));

    // Not launched any more: the attempt ends without being cancelled.
    noNeedForRecovery(error);
    EXPECT_FALSE(completion.recovered()) << "told on the main queue, not in the call";
    ASSERT_TRUE(completion.arrive());
    EXPECT_TRUE(*completion.recovered());
    EXPECT_TRUE(completion.ranOnMainThread());
    EXPECT_FALSE(isPresentationCancelled(error));
    EXPECT_FALSE(attempt->recoveryFinishAwaitingGroup());

    // Ending twice leaves the group once (a second leave would stop the process).
    noNeedForRecovery(error);
    Completion late;
    notifyRecoveryCompletionWithBlock(error, late.block());
    ASSERT_TRUE(late.arrive());
    EXPECT_TRUE(*late.recovered());
}

TEST(ErrorRecovery, WithdrawingALaunchedPresentationCancelsItAndItsUnderlyingError) {
    const Error underlying = recoverableError(1);
    const Error error =
        errorWithDomain(kDomain, 2, QStringLiteral("D"), QStringLiteral("S"), {QStringLiteral("OK")},
                        {{platform::NSUnderlyingErrorKey, underlying}}, {});
    auto attempt = recoveryAttemptInfo(error);
    auto underlyingAttempt = recoveryAttemptInfo(underlying);

    QStringList changes;
    attempt->addObserver(QStringLiteral("launched"), [&](const QString& key) { changes << key; });
    attempt->addObserver(QStringLiteral("cancelled"), [&](const QString& key) { changes << key; });
    int underlyingChanges = 0;
    underlyingAttempt->addObserver(QStringLiteral("cancelled"), [&](const QString&) { ++underlyingChanges; });

    std::vector<std::shared_ptr<BRErrorRecoveryAttemptInfo>> cancelledWith;
    attempt->startRecoveryOfError(error, [&](const auto& info) { cancelledWith.push_back(info); });
    EXPECT_TRUE(isPresentationLaunched(error));
    EXPECT_TRUE(isPresentationLaunched(underlying));

    Completion completion;
    notifyRecoveryCompletionWithBlock(error, completion.block());
    noNeedForRecovery(error);

    EXPECT_FALSE(isPresentationLaunched(error));
    EXPECT_FALSE(isPresentationLaunched(underlying));
    EXPECT_TRUE(isPresentationCancelled(error));
    EXPECT_TRUE(isPresentationCancelled(underlying));
    ASSERT_EQ(cancelledWith.size(), 1u);
    EXPECT_EQ(cancelledWith.front(), attempt);
    EXPECT_EQ(changes, (QStringList{QStringLiteral("launched"), QStringLiteral("launched"),
                                    QStringLiteral("cancelled")}));
    EXPECT_EQ(underlyingChanges, 1);

    ASSERT_TRUE(completion.arrive());
    EXPECT_FALSE(*completion.recovered());
    // Only the withdrawn error's attempt ended.
    EXPECT_TRUE(groupHeld(underlying));
}

TEST(ErrorRecovery, WithoutABlockFinishingRecoversTheUnderlyingError) {
    Calls calls;
    const Error underlying = recoverableError(1, &calls);
    const Error error =
        errorWithDomain(kDomain, 2, QStringLiteral("D"), QStringLiteral("S"), {QStringLiteral("OK")},
                        {{platform::NSUnderlyingErrorKey, underlying}}, {});
    recoveryAttemptInfo(error)->startRecoveryOfError(error, {});
    EXPECT_TRUE(isPresentationLaunched(underlying));

    EXPECT_FALSE(recoverWithIndexOfOption(error, 3));
    EXPECT_EQ(calls.made, (std::vector<std::pair<std::int64_t, std::size_t>>{{1, 3}}));
    EXPECT_FALSE(isPresentationLaunched(underlying));
}

TEST(ErrorRecovery, ReleasingTheAttemptEndsItUncancelled) {
    Completion completion;
    {
        const Error error = recoverableError(7);
        notifyRecoveryCompletionWithBlock(error, completion.block());
        platform::MainRunLoop::drainPending();
        EXPECT_FALSE(completion.recovered());
    }
    ASSERT_TRUE(completion.arrive());
    EXPECT_TRUE(*completion.recovered());
}

TEST(ErrorRecovery, OverridingErrorMapsOptionsOntoTheOverriddenOneAndEndsWithIt) {
    Calls calls;
    std::optional<Error> overridden = recoverableError(7, &calls);
    std::vector<std::size_t> mapped;
    const Error overriding = overrideWithErrorWithDomain(
        *overridden, QStringLiteral("test.override"), 70, QStringLiteral("Other"), QStringLiteral("Else"),
        {QStringLiteral("A"), QStringLiteral("B")}, {{QStringLiteral("extra"), 1}},
        [&](const Error& error, std::size_t option) {
            mapped.push_back(option);
            EXPECT_EQ(error.code(), 70);
            return option + 10;
        });

    EXPECT_EQ(overriding.domain(), QStringLiteral("test.override"));
    EXPECT_EQ(overriding.localizedDescription(), QStringLiteral("Other"));
    EXPECT_EQ(overriding.localizedRecoveryOptions(), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    EXPECT_EQ(overriding.userInfo().value(QStringLiteral("extra")).toInteger(), 1);
    ASSERT_TRUE(overriding.underlyingError());
    EXPECT_TRUE(overriding.underlyingError()->isIdenticalTo(*overridden));

    auto attempt = recoveryAttemptInfo(overriding);
    ASSERT_TRUE(attempt);
    EXPECT_NE(attempt, recoveryAttemptInfo(*overridden));
    attempt->startRecoveryOfError(overriding, {});
    EXPECT_TRUE(isPresentationLaunched(*overridden));
    EXPECT_FALSE(recoverWithIndexOfOption(overriding, 1));
    EXPECT_EQ(mapped, std::vector<std::size_t>{1});
    EXPECT_EQ(calls.made, (std::vector<std::pair<std::int64_t, std::size_t>>{{7, 11}}));

    // Launched again, then the overridden attempt ends: the overriding one is withdrawn.
    int cancellations = 0;
    attempt->startRecoveryOfError(overriding, [&](const auto&) { ++cancellations; });
    Completion completion;
    notifyRecoveryCompletionWithBlock(overriding, completion.block());
    noNeedForRecovery(*overridden);
    ASSERT_TRUE(completion.arrive());
    EXPECT_FALSE(*completion.recovered());
    EXPECT_EQ(cancellations, 1);
    EXPECT_TRUE(isPresentationCancelled(overriding));
}

using ErrorRecoveryDeathTest = testing::Test;

TEST_F(ErrorRecoveryDeathTest, OperationsOnAnErrorWithoutAttemptAreAssertionFailures) {
    const Error plain(kDomain, 1);
    const char* expected = "Invalid parameter not satisfying: nil != self\\.recoveryAttemptInfo";
    EXPECT_DEATH(recoverWithIndexOfOption(plain, 0), expected);
    EXPECT_DEATH(noNeedForRecovery(plain), expected);
    EXPECT_DEATH(notifyRecoveryCompletionWithBlock(plain, [](bool) {}), expected);
}

TEST_F(ErrorRecoveryDeathTest, FinishingACancelledRecoveryIsAnAssertionFailure) {
    const Error error = recoverableError(7);
    recoveryAttemptInfo(error)->startRecoveryOfError(error, {});
    noNeedForRecovery(error);
    ASSERT_TRUE(isPresentationCancelled(error));
    EXPECT_DEATH(recoverWithIndexOfOption(error, 0),
                 "Invalid parameter not satisfying: !\\[self isCancelled\\]");
}

} // namespace
