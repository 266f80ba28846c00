#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "support/BRValueOrError.h"
#include "support/BRValueOrErrorObject.h"

#include <gtest/gtest.h>

#include <QCborMap>
#include <QCborValue>

#include <memory>

namespace {

using platform::Error;
using platform::Value;

TEST(ValueOrError, ExactlyOneOfOnValueAndOnErrorFires) {
    int values = 0;
    int errors = 0;
    const auto withValue = BRValueOrError<int>::makeWithValue(42);
    withValue.onValue([&](const int& v) { values += v; }).onError([&](const Error&) { ++errors; });
    EXPECT_EQ(values, 42);
    EXPECT_EQ(errors, 0);

    const auto withError = BRValueOrError<int>::makeWithError(Error(QStringLiteral("d"), 3));
    withError.onValue([&](const int&) { ++values; }).onError([&](const Error& e) {
        errors += static_cast<int>(e.code());
    });
    EXPECT_EQ(values, 42);
    EXPECT_EQ(errors, 3);
    EXPECT_FALSE(withError.hasValue());
    EXPECT_EQ(withError.value(), nullptr);
}

TEST(ValueOrError, LiftingMapsOnlyWhatIsHeld) {
    const auto number = BRValueOrError<int>::makeWithValue(20);
    const auto text = number.liftValue([](const int& v) { return QString::number(v + 1); });
    static_assert(std::is_same_v<decltype(text), const BRValueOrError<QString>>);
    ASSERT_TRUE(text.hasValue());
    EXPECT_EQ(*text.value(), QStringLiteral("21"));
    EXPECT_EQ(*number.liftError([](const Error&) { return Error(QStringLiteral("never"), 1); }).value(), 20);

    const Error cause(QStringLiteral("d"), 5);
    const auto failed = BRValueOrError<int>::makeWithError(cause);
    bool called = false;
    const auto stillFailed = failed.liftValue([&](const int& v) {
        called = true;
        return v;
    });
    EXPECT_FALSE(called);
    EXPECT_TRUE(stillFailed.error()->isIdenticalTo(cause));
    const auto wrapped = failed.liftError([](const Error& e) {
        return Error(QStringLiteral("outer"), e.code() * 2, {{platform::NSUnderlyingErrorKey, e}});
    });
    EXPECT_EQ(wrapped.error()->code(), 10);
    EXPECT_EQ(wrapped.error()->underlyingError(), cause);
}

TEST(ValueOrError, ErasedFormCarriesTheValueOrTheError) {
    const auto erased = BRValueOrError<QString>::makeWithValue(QStringLiteral("v")).erased();
    static_assert(std::is_same_v<decltype(erased), const BRAnyValueOrError>);
    EXPECT_EQ(*erased.value(), Value(QStringLiteral("v")));
    const auto erasedError = BRValueOrError<QString>::makeWithError(Error(QStringLiteral("d"), 9)).erased();
    EXPECT_EQ(erasedError.error()->code(), 9);
}

TEST(ValueOrError, HoldersTravelAsArchivedObjectsWithExactlyOneSide) {
    const auto allowed = platform::KeyedUnarchiver::Classes{BRValueOrErrorObject::staticClass()};
    const auto travel = [&](const BRAnyValueOrError& holder) {
        const auto data =
            platform::KeyedArchiver::archivedDataWithRootObject(BRValueOrErrorObject::makeWithHolder(holder));
        EXPECT_TRUE(data);
        const auto back =
            platform::KeyedUnarchiver::unarchivedObjectOfClasses(allowed, data.value_or(QByteArray()));
        return back ? BRValueOrErrorObject::holderOf(*back) : std::nullopt;
    };
    const auto value = travel(BRAnyValueOrError::makeWithValue(Value::Dictionary{{QStringLiteral("n"), 1}}));
    ASSERT_TRUE(value && value->hasValue());
    EXPECT_EQ(*value->value(), Value(Value::Dictionary{{QStringLiteral("n"), 1}}));
    const auto error = travel(BRAnyValueOrError::makeWithError(Error(QStringLiteral("d"), -4)));
    ASSERT_TRUE(error && !error->hasValue());
    EXPECT_EQ(error->error()->code(), -4);

    // The class name on the wire, and the refusal of a holder with both sides or none.
    QCborMap forged;
    forged.insert(QStringLiteral("$class"), QStringLiteral("BRValueOrError"));
    EXPECT_FALSE(platform::KeyedUnarchiver::unarchivedObjectOfClasses(allowed, QCborValue(forged).toCbor()));
    forged.insert(QStringLiteral("value"), 1);
    EXPECT_TRUE(platform::KeyedUnarchiver::unarchivedObjectOfClasses(allowed, QCborValue(forged).toCbor()));
    const QByteArray archivedError =
        *platform::KeyedArchiver::archivedDataWithRootObject(Value(Error(QStringLiteral("d"), 1)));
    forged.insert(QStringLiteral("error"), QCborValue::fromCbor(archivedError));
    EXPECT_FALSE(platform::KeyedUnarchiver::unarchivedObjectOfClasses(allowed, QCborValue(forged).toCbor()));
}

using ValueOrErrorDeathTest = testing::Test;

TEST_F(ValueOrErrorDeathTest, NilValuesAreRefused) {
    EXPECT_DEATH(BRValueOrError<std::shared_ptr<int>>::makeWithValue(nullptr),
                 "Invalid parameter not satisfying: nil != value");
    EXPECT_DEATH(BRAnyValueOrError::makeWithValue(Value()), "Invalid parameter not satisfying: nil != value");
}

} // namespace
