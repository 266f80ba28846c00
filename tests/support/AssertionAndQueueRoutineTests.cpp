#include "platform/MainRunLoop.h"
#include "support/BRAssertions.h"
#include "support/BRDispatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

namespace {

using namespace std::chrono_literals;

TEST(QueueRoutines, BuiltQueuesCarryTheirLabelQualityAndKind) {
    const auto internal = BRBuildInternalDispatchQueue(QStringLiteral("services-factory"));
    EXPECT_EQ(internal->label(), QStringLiteral("com.brindle.services-factory.internal-queue"));
    EXPECT_EQ(internal->qos(), platform::QualityOfService::Utility);
    EXPECT_FALSE(internal->isConcurrent());

    const auto target = BRBuildInternalDispatchQueue(QStringLiteral("target"));
    const auto concurrent = BRBuildDispatchQueue(QStringLiteral("fan-out"),
                                                 platform::QualityOfService::UserInitiated, target, true);
    EXPECT_EQ(concurrent->label(), QStringLiteral("com.brindle.fan-out"));
    EXPECT_TRUE(concurrent->isConcurrent());
    EXPECT_EQ(concurrent->target(), target);
    bool ranOnTarget = false;
    concurrent->sync([&] { ranOnTarget = target->isCurrent() && concurrent->isCurrent(); });
    EXPECT_TRUE(ranOnTarget);
}

TEST(QueueRoutines, InteractWithUIRunsOnTheMainQueueLater) {
    std::atomic<bool> onMain{false};
    std::atomic<bool> ran{false};
    BRBuildInternalDispatchQueue(QStringLiteral("worker"))->async([&] {
        BRInteractWithUI([&] {
            onMain = platform::DispatchQueue::main()->isCurrent();
            ran = true;
        });
    });
    ASSERT_TRUE(platform::MainRunLoop::runUntil([&] { return ran.load(); }, 10s));
    EXPECT_TRUE(onMain);
}

using AssertionDeathTest = testing::Test;

TEST_F(AssertionDeathTest, RoutinesReportTheirTextsAndStop) {
    EXPECT_DEATH(BRAssertUnreachable(), "We should not get here");
    EXPECT_DEATH(BRAssertAbstract(),
                 "This implementation belongs to abstract method. We should not get here");
    EXPECT_DEATH(BRAssertUnimplemented(),
                 "Under construction\nThis part of application in not ready for regular use");
    const int answer = 41;
    EXPECT_DEATH(BRParameterAssert(answer == 42), "Invalid parameter not satisfying: answer == 42");
}

TEST_F(AssertionDeathTest, AReplacedHandlerSeesTheFailureAndTheProcessStillStops) {
    EXPECT_DEATH(
        {
            BRSetAssertionHandler([](const BRAssertionFailure& failure) {
                std::fprintf(stderr, "replaced handler: %s at line %d\n",
                             failure.description.toUtf8().constData(), failure.line);
            });
            BRAssertUnreachable();
        },
        "replaced handler: We should not get here at line [0-9]+");
}

} // namespace
