#include "PlatformPrinters.h"
#include "platform/JSONSerialization.h"
#include "platform/Object.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace platform;

TEST(JSONSerializationTests, ReadsEveryKindKeepingIntegersExact) {
    using Kind = Value::Kind;
    const struct {
        const char* text;
        Value expected;
        Kind kind;
    } cases[] = {
        {R"({"a": [1, "x", true, null, {}], "b": {"c": 2.5}})",
         Value::Dictionary{{"a", Value::Array{1, "x", true, Value(), Value::Dictionary{}}},
                           {"b", Value::Dictionary{{"c", 2.5}}}},
         Kind::Dictionary},
        {"[9007199254740993]", Value::Array{9007199254740993LL}, Kind::Array},
        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min(), Kind::Integer},
        {"9223372036854775808", 9223372036854775808.0, Kind::Double},
        {"-2.0e3", -2000, Kind::Integer},
        {R"( "a\u00e9\n" )", "aé\n", Kind::String},
        {"null", Value(), Kind::Null},
    };
    for (const auto& c : cases) {
        Error error(QString(), 0);
        const auto read = JSONSerialization::read(c.text, &error);
        ASSERT_TRUE(read.has_value()) << c.text << ": " << error.description().toStdString();
        EXPECT_EQ(*read, c.expected) << c.text;
        EXPECT_EQ(read->kind(), c.kind) << c.text;
    }
}

TEST(JSONSerializationTests, MalformedInputIsAnErrorSayingWhereNeverACrash) {
    const struct {
        QByteArray text;
        const char* problem;
        int offset;
    } cases[] = {
        {"[1] x", "garbage at the end of the document", 4},
        {R"("a,\",b" , 3)", "garbage at the end of the document", 9},
        {"1]", "garbage at the end of the document", 1},
        {"1 x", "missing value separator", 3},
        {"\"abc", "unterminated string", 4},
        {"", "", -1},
        {QByteArray(100000, '['), "", -1},
    };
    for (const auto& c : cases) {
        Error error(QString(), 0);
        EXPECT_FALSE(JSONSerialization::read(c.text, &error).has_value()) << c.text.left(20).data();
        EXPECT_EQ(error.domain(), NSCocoaErrorDomain);
        EXPECT_EQ(error.code(), 3840);
        if (c.offset >= 0) {
            EXPECT_TRUE(error.localizedDescription().endsWith(
                QStringLiteral("%1 at offset %2.").arg(QString::fromUtf8(c.problem)).arg(c.offset)))
                << error.localizedDescription().toStdString();
        }
    }
    const QByteArray whole(R"({"a": [1, 2.5, "x\"y"], "b": null})");
    for (qsizetype length = 0; length < whole.size(); ++length) {
        Error error(QString(), 0);
        EXPECT_FALSE(JSONSerialization::read(whole.left(length), &error).has_value()) << length;
        EXPECT_EQ(error.code(), 3840);
    }
}

TEST(JSONSerializationTests, WritesCompactTextThatReadsBack) {
    const QDateTime date = QDateTime::fromMSecsSinceEpoch(1700000000000, Qt::UTC);
    const struct {
        Value value;
        QByteArray text;
    } cases[] = {
        {Value::Dictionary{{"b", Value::Array{1, "x", true, Value()}}, {"a", Value::Dictionary{}}},
         R"({"a":{},"b":[1,"x",true,null]})"},
        {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
        {"say \"hi\"", R"("say \"hi\"")"},
        {date, R"("2023-11-14T22:13:20Z")"},
        {date.addMSecs(7), R"("2023-11-14T22:13:20.007Z")"},
        {QUrl(QStringLiteral("https://example.com/a b")), R"("https://example.com/a%20b")"},
        {QUuid::fromString(QStringLiteral("3f2504e0-4f89-11d3-9a0c-0305e82c3301")),
         R"("3F2504E0-4F89-11D3-9A0C-0305E82C3301")"},
        {QByteArray("\x00\xff", 2), R"("AP8=")"},
        {Value::set({3, 3, 4}), "[3,4]"},
    };
    for (const auto& c : cases) {
        const auto text = JSONSerialization::write(c.value);
        EXPECT_EQ(text.value_or("(refused)"), c.text);
    }
    const Value big(Value::Array{9007199254740993LL, 2.5});
    EXPECT_EQ(JSONSerialization::read(*JSONSerialization::write(big)), big);
}

TEST(JSONSerializationTests, ValuesWithoutAJSONFormAreRefused) {
    class Opaque : public Object {};
    const Value unwritable[] = {
        Value(Value::Dictionary{{"object", std::make_shared<Opaque>()}}),
        Value(Value::Array{Error(NSCocoaErrorDomain, 1)}),
        Value(std::nan("")),
    };
    for (const Value& value : unwritable) {
        Error error(QString(), 0);
        EXPECT_FALSE(JSONSerialization::write(value, &error).has_value())
            << value.description().toStdString();
        EXPECT_EQ(error.domain(), NSCocoaErrorDomain);
        EXPECT_EQ(error.code(), 3851);
    }
}
