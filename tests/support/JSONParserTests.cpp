#include "platform/JSONSerialization.h"
#include "support/BRJSONParser.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using platform::Value;

const Value kRecord = *platform::JSONSerialization::read(R"({
    "id": 42, "big": 9007199254740993, "free": false, "nothing": null, "name": "Orbit",
    "url": "https://example.com/a", "badURL": "http://a b", "released": 1700000000.1234, "tags": ["a"],
    "data": {"attributes": {"name": "Notes", "count": "7", "home": "https://x.example"}}
})");

TEST(JSONParser, ReadsPresentValuesOfTheirType) {
    EXPECT_FALSE(BRJSONParser::makeWithJSON(Value::Array{kRecord}).has_value());
    BRJSONParser parser = *BRJSONParser::makeWithJSON(kRecord);
    EXPECT_EQ(parser.integerForKey(QStringLiteral("big")), 9007199254740993LL);
    EXPECT_EQ(parser.numberForKey(QStringLiteral("free")), Value(false));
    EXPECT_EQ(parser.arrayForKey(QStringLiteral("tags")), Value::Array{"a"});
    EXPECT_EQ(parser.URLForKey(QStringLiteral("url")), QUrl(QStringLiteral("https://example.com/a")));
    EXPECT_EQ(parser.unixtimeBasedDateForKey(QStringLiteral("released")),
              QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC));
    EXPECT_EQ(parser.stringForKeyPath(QStringLiteral("data.attributes.name")), QStringLiteral("Notes"));
    EXPECT_EQ(parser.stringForKeyPath(QStringLiteral("name")), QStringLiteral("Orbit"));
    EXPECT_EQ(parser.URLForKeyPath(QStringLiteral("data.attributes.home")),
              QUrl(QStringLiteral("https://x.example")));
    // A string that is no URL gives no URL, but it is the string that was asked for.
    EXPECT_FALSE(parser.URLForKey(QStringLiteral("badURL")).has_value());
    EXPECT_FALSE(parser.lastError().has_value());
}

TEST(JSONParser, FirstFailureIsKeptAndEndsEveryLaterRead) {
    using Read = std::function<bool(BRJSONParser&)>; // true when the read answered nothing
    const struct {
        Read read;
        std::int64_t code;
        const char* description;
    } cases[] = {
        {[](BRJSONParser& p) { return !p.stringForKeyPath(QStringLiteral("meta.attributes.name")); },
         BRJSONParserMissingValueError, "Missing value for key meta"},
        {[](BRJSONParser& p) { return !p.stringForKeyPath(QStringLiteral("data.attributes.x")); },
         BRJSONParserMissingValueError, "Missing value for key x"},
        {[](BRJSONParser& p) { return !p.objectForKeyPath(QStringLiteral("tags.0"), BRJSONType::String); },
         BRJSONParserIncorrectTypeError, "Incorrect type of value for key tags"},
        {[](BRJSONParser& p) { return !p.numberForKeyPath(QStringLiteral("data.attributes.count")); },
         BRJSONParserIncorrectTypeError, "Incorrect type of value for key count"},
        {[](BRJSONParser& p) { return p.integerForKey(QStringLiteral("absent")) == 0; },
         BRJSONParserMissingValueError, "Missing value for key absent"},
        {[](BRJSONParser& p) { return !p.stringForKey(QStringLiteral("nothing")); },
         BRJSONParserIncorrectTypeError, "Incorrect type of value for key nothing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        BRJSONParser parser = *BRJSONParser::makeWithJSON(kRecord);
        EXPECT_TRUE(c.read(parser));
        ASSERT_TRUE(parser.lastError().has_value());
        const platform::Error first = *parser.lastError();
        EXPECT_EQ(first.domain(), QStringLiteral("com.brindle.BRJSONParserErrorDomain"));
        EXPECT_EQ(first.code(), c.code);
        EXPECT_EQ(first.localizedDescription(), QString::fromUtf8(c.description));

        EXPECT_FALSE(parser.stringForKey(QStringLiteral("name")).has_value());
        EXPECT_EQ(parser.integerForKey(QStringLiteral("id")), 0);
        EXPECT_FALSE(parser.numberForKeyPath(QStringLiteral("missing")).has_value());
        EXPECT_TRUE(parser.lastError()->isIdenticalTo(first));
    }
}

TEST(JSONParser, OptionalReadsRecordNothing) {
    BRJSONParser parser = *BRJSONParser::makeWithJSON(kRecord);
    EXPECT_FALSE(parser.objectForKeyPath(QStringLiteral("data.attributes.count"), BRJSONType::Number, true));
    EXPECT_FALSE(parser.objectForKeyPath(QStringLiteral("data.missing.name"), BRJSONType::String, true));
    EXPECT_FALSE(parser.objectForKeyPath(QStringLiteral("name.x"), BRJSONType::String, true));
    EXPECT_FALSE(parser.lastError().has_value());
    EXPECT_EQ(parser.objectForKeyPath(QStringLiteral("data.attributes.name"), BRJSONType::String, true),
              Value("Notes"));
}

TEST(JSONParser, ValidatedObjectFromJSONAnswersOnlyValuesOfTheType) {
    const struct {
        const char* keyPath;
        BRJSONType type;
        Value expected; // null for none
    } cases[] = {
        {"data.attributes.name", BRJSONType::String, "Notes"},
        {"data.attributes", BRJSONType::Dictionary, kRecord["data"]["attributes"]},
        {"data.attributes.name", BRJSONType::Number, Value()},
        {"name.first", BRJSONType::String, Value()},
        {"data.absent.name", BRJSONType::String, Value()},
    };
    for (const auto& c : cases) {
        const auto found =
            BRJSONParser::validatedObjectFromJSON(kRecord, QString::fromUtf8(c.keyPath), c.type);
        EXPECT_EQ(found.value_or(Value()), c.expected) << c.keyPath;
    }
}

} // namespace
