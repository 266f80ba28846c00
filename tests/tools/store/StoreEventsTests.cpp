// The store as statistics host: what is POSTed to "/events" is kept.

#include "Curl.h"
#include "testing/StoreProcess.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>

using namespace store_tests;
using testing_support::StoreProcess;

namespace {

TEST(StoreEvents, AppendsEachPostedBodyAsALineAndTakesNothingElse) {
    const QString served = testing_support::testRoot() + QStringLiteral("/served");
    const QString eventsFile = testing_support::testRoot() + QStringLiteral("/events.jsonl");
    QDir().mkpath(served);
    ASSERT_TRUE(testing_support::writeFile(served + QStringLiteral("/events"), "a file of that name"));
    const auto store = StoreProcess::start(served, {QStringLiteral("--events-file"), eventsFile});
    ASSERT_TRUE(store);

    const auto first = curl(*store, QStringLiteral("/events"),
                            {QStringLiteral("-H"), QStringLiteral("Content-Type: application/json"),
                             QStringLiteral("--data-binary"), QStringLiteral("{\"ea\":\"one\"}")});
    EXPECT_EQ(first.status, 204);
    const auto second = curl(*store, QStringLiteral("/events"),
                             {QStringLiteral("--data-binary"), QStringLiteral("{\"ea\":\"two\"}")});
    EXPECT_EQ(second.status, 204);
    // The route takes the path from the files below it.
    EXPECT_EQ(curl(*store, QStringLiteral("/events")).status, 405);
    EXPECT_EQ(
        curl(*store, QStringLiteral("/events/more"), {QStringLiteral("--data-binary"), QStringLiteral("x")})
            .status,
        404);

    EXPECT_EQ(testing_support::readFile(eventsFile), QByteArray("{\"ea\":\"one\"}\n{\"ea\":\"two\"}\n"));
}

} // namespace
