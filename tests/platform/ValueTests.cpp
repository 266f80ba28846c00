#include "PlatformPrinters.h"
#include "platform/BooleanText.h"
#include "platform/Error.h"
#include "platform/Hash.h"
#include "platform/Object.h"
#include "platform/StringFormat.h"
#include "platform/Value.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <limits>

using namespace platform;
using namespace Qt::Literals::StringLiterals;

namespace {

// An object that is a value: equal by name.
class ValueTestsToken : public Object {
    PLATFORM_DECLARE_CLASS()
public:
    explicit ValueTestsToken(QString name = {}) : name_(std::move(name)) {}
    bool isEqual(const Object& other) const override {
        const auto* token = dynamic_cast<const ValueTestsToken*>(&other);
        return token && token->name_ == name_;
    }
    std::uint64_t hash() const override { return Hash::string(name_); }

private:
    QString name_;
};
PLATFORM_DEFINE_CLASS(ValueTestsToken, Object, [] { return std::make_shared<ValueTestsToken>(); })

class ValueTestsAbstractToken : public ValueTestsToken {
    PLATFORM_DECLARE_CLASS()
};
PLATFORM_DEFINE_CLASS(ValueTestsAbstractToken, ValueTestsToken, nullptr)

} // namespace

TEST(ValueTests, NumbersCompareByValueAcrossKindsAndEqualOnesHashEqual) {
    EXPECT_EQ(Value(true), Value(1));
    EXPECT_EQ(Value(1), Value(1u));
    EXPECT_EQ(Value(-3), Value(-3.0));
    EXPECT_NE(Value(2), Value(2.5));
    EXPECT_NE(Value(-1), Value(std::numeric_limits<std::uint64_t>::max()));
    EXPECT_NE(Value(1), Value("1"));
    EXPECT_NE(Value(), Value(0));

    // Equality must stay an equivalence that agrees with the hash, also where
    // doubles no longer hold every integer.
    constexpr std::int64_t k2to53 = std::int64_t(1) << 53;
    const Value numbers[] = {
        false,
        true,
        0,
        1,
        1u,
        1.0,
        -0.0,
        2.5,
        -1,
        -1.0,
        k2to53,
        k2to53 + 1,
        double(k2to53),
        std::numeric_limits<std::int64_t>::max(),
        std::numeric_limits<std::int64_t>::min(),
        -9223372036854775808.0,
        std::uint64_t(1) << 63,
        9223372036854775808.0,
        std::numeric_limits<std::uint64_t>::max(),
        18446744073709551616.0,
    };
    for (const Value& a : numbers) {
        for (const Value& b : numbers) {
            if (a != b) {
                continue;
            }
            EXPECT_EQ(a.hash(), b.hash())
                << a.description().toStdString() << " == " << b.description().toStdString();
            for (const Value& c : numbers) {
                EXPECT_TRUE(b != c || a == c)
                    << "not transitive: " << a.description().toStdString() << ", "
                    << b.description().toStdString() << ", " << c.description().toStdString();
            }
        }
    }
}

// Booleans written as text read the same wherever they are read: values,
// preferences, and the launchctl stand-in's property lists.
TEST(ValueTests, TextReadsAsABooleanByOneRule) {
    for (const QString& text : {u"yes"_s, u" TRUE "_s, u"1"_s, u"-3"_s, u"+5"_s, u"\u00a0Yes\u2003"_s}) {
        EXPECT_TRUE(Value(text).toBool()) << text.toStdString();
    }
    for (const QString& text : {u"no"_s, u"0"_s, u""_s, u"2x"_s, u"y"_s, u"99999999999999999999"_s}) {
        EXPECT_FALSE(Value(text).toBool()) << text.toStdString();
    }
    EXPECT_TRUE(BooleanText::isTrue("\tYes\n"));
    EXPECT_FALSE(BooleanText::isTrue("true false"));
}

TEST(ValueTests, ContainersDatesAndObjectsFollowTheirEqualityRules) {
    EXPECT_EQ(Value::set({1, 2, 3}), Value::set({3.0, 2, true}));
    EXPECT_EQ(Value::set({1, 2, 3}).hash(), Value::set({3.0, 2, true}).hash());
    EXPECT_EQ(Value::set({1, 1.0, "a", "a"}).toArray().size(), 2);
    EXPECT_NE(Value::set({1, 2}), Value(Value::Array{1, 2}));
    EXPECT_NE(Value(Value::Array{1, 2}), Value(Value::Array{2, 1}));

    const Value dictionary(Value::Dictionary{{"n", 1}, {"list", Value::Array{"x", 2.0}}});
    const Value same(Value::Dictionary{{"list", Value::Array{"x", 2}}, {"n", true}});
    EXPECT_EQ(dictionary, same);
    EXPECT_EQ(dictionary.hash(), same.hash());
    EXPECT_NE(dictionary, Value(Value::Dictionary{{"n", 1}}));

    // Dates are one instant in UTC, to the millisecond.
    const QDateTime instant = QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC);
    EXPECT_EQ(Value(instant), Value(instant.toOffsetFromUtc(7200)));
    EXPECT_NE(Value(instant), Value(instant.addMSecs(1)));
    EXPECT_EQ(Value(instant.toOffsetFromUtc(7200)).toDate().timeSpec(), Qt::UTC);
    EXPECT_EQ(Value(instant).description(), u"2023-11-14 22:13:20 +0000"_s);

    auto alpha = std::make_shared<ValueTestsToken>(u"alpha"_s);
    const Value otherAlpha(std::make_shared<ValueTestsToken>(u"alpha"_s));
    EXPECT_EQ(Value(alpha), otherAlpha);
    EXPECT_EQ(Value(alpha).hash(), otherAlpha.hash());
    EXPECT_NE(Value(alpha), Value(std::make_shared<ValueTestsToken>(u"beta"_s)));
    EXPECT_EQ(Value(alpha).toObject<ValueTestsToken>(), alpha);
    EXPECT_EQ(Value(alpha).toObject<ValueTestsAbstractToken>(), nullptr);
    EXPECT_TRUE(Value(alpha).description().startsWith(u"<ValueTestsToken: 0x"_s));
}

TEST(ValueTests, ClassRegistryKnowsNamesSuperclassesAndFactories) {
    const Class* token = ValueTestsToken::staticClass();
    const Class* abstract = ValueTestsAbstractToken::staticClass();
    EXPECT_EQ(Class::named(u"ValueTestsToken"_s), token);
    EXPECT_EQ(Class::named(u"NoSuchClassAnywhere"_s), nullptr);
    EXPECT_EQ(abstract->superclass(), token);
    EXPECT_EQ(token->superclass(), Object::staticClass());
    EXPECT_EQ(Object::staticClass()->superclass(), nullptr);
    EXPECT_TRUE(abstract->isSubclassOf(Object::staticClass()));
    EXPECT_FALSE(token->isSubclassOf(abstract));
    EXPECT_EQ(Class::registerClass(u"ValueTestsToken"_s, nullptr, nullptr), token);

    const auto made = token->make();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->className(), u"ValueTestsToken"_s);
    EXPECT_FALSE(made->isKindOfClass(abstract));
    EXPECT_EQ(abstract->make(), nullptr);
}

TEST(ValueTests, HashesAreFixedAcrossProcessesAndMachines) {
    // FNV-1a 64, worked out independently from its published definition.
    EXPECT_EQ(Hash::bytes(QByteArray()), 0xcbf29ce484222325ULL);
    EXPECT_EQ(Hash::string(u"a"_s), 0xaf63dc4c8601ec8cULL);
    EXPECT_EQ(Hash::string(u"Grüße"_s), 0x20e72e11e324b0b8ULL);
    EXPECT_EQ(Hash::combine(Hash::string(u"a"_s), 42), 0xe55d0f7a3fa17d66ULL);
    // Value hashes end up in preference keys that other processes read.
    EXPECT_EQ(Value("a").hash(), 0x94db760f35535c7aULL);
    EXPECT_EQ(Value(1).hash(), 0x5cf0551b20cdde63ULL);
}

TEST(ValueTests, DescriptionsOfContainers) {
    EXPECT_EQ(Value(Value::Array{1, "two words", "plain", 2.5, Value::Array{}}).description(),
              u"(\n    1,\n    \"two words\",\n    plain,\n    2.5,\n    (\n    )\n)"_s);
    EXPECT_EQ(Value(Value::Dictionary{{"name", "say \"hi\""}, {"list", Value::Array{true}}, {"n", 3}})
                  .description(),
              u"{\n    list = (\n        1\n    );\n    n = 3;\n    name = \"say \\\"hi\\\"\";\n}"_s);
    EXPECT_EQ(Value(QByteArray("\x01\xff", 2)).description(), u"{length = 2, bytes = 0x01ff}"_s);
}

TEST(ValueTests, ErrorsCompareDescribeAndChain) {
    const Error underlying = Error::posix(ENOENT, u"Opening settings"_s);
    EXPECT_EQ(underlying.domain(), NSPOSIXErrorDomain);
    EXPECT_EQ(underlying.code(), ENOENT);
    EXPECT_EQ(underlying.localizedDescription(), u"Opening settings: No such file or directory"_s);

    const Value::Dictionary userInfo{{NSLocalizedDescriptionKey, "Sync failed"},
                                     {NSLocalizedRecoveryOptionsErrorKey, QStringList{"Retry", "Cancel"}},
                                     {NSUnderlyingErrorKey, underlying}};
    const Error error(u"com.kestrel.tests"_s, 7, userInfo);
    const Error twin(u"com.kestrel.tests"_s, 7, userInfo);
    EXPECT_EQ(error, twin);
    EXPECT_EQ(error.hash(), twin.hash());
    EXPECT_FALSE(error.isIdenticalTo(twin));
    EXPECT_TRUE(error.isIdenticalTo(Error(error)));
    EXPECT_NE(error, Error(u"com.kestrel.tests"_s, 7));
    EXPECT_NE(error, Error(u"com.kestrel.other"_s, 7, userInfo));
    ASSERT_TRUE(error.underlyingError().has_value());
    EXPECT_TRUE(error.underlyingError()->isIdenticalTo(underlying));
    EXPECT_FALSE(underlying.underlyingError().has_value());
    EXPECT_EQ(error.localizedRecoveryOptions(), (QStringList{"Retry", "Cancel"}));
    EXPECT_FALSE(error.localizedRecoverySuggestion().has_value());

    const Error bare(u"com.kestrel.tests"_s, -12);
    EXPECT_EQ(bare.localizedDescription(),
              u"The operation couldn’t be completed. (com.kestrel.tests error -12.)"_s);
    EXPECT_EQ(bare.description(), u"Error Domain=com.kestrel.tests Code=-12"_s);
    EXPECT_EQ(Error(u"D"_s, 1, {{NSLocalizedDescriptionKey, "Broken"}}).description(),
              u"Error Domain=D Code=1 \"Broken\" UserInfo={NSLocalizedDescription=Broken}"_s);
}

TEST(ValueTests, StringWithFormatFollowsPrintfRules) {
    EXPECT_EQ(stringWithFormat(u"%@ has %d items"_s, u"list"_s, 3), u"list has 3 items"_s);
    EXPECT_EQ(stringWithFormat(u"%ld/%lu %.2f"_s, -5L, 7UL, 3.14159), u"-5/7 3.14"_s);
    EXPECT_EQ(stringWithFormat(u"[%5d][%-4d][%03d] %x"_s, 42, 7, 5, 255), u"[   42][7   ][005] ff"_s);
    EXPECT_EQ(stringWithFormat(u"100%% of %s"_s, "Grüße"), u"100% of Grüße"_s);
    EXPECT_EQ(stringWithFormat(u"%@"_s, Value::Array{1}), u"(\n    1\n)"_s);
    EXPECT_EQ(stringWithFormat(u"%@ and %@"_s, "one"), u"one and (null)"_s);
    // A conversion we do not know stays as written and takes no argument.
    EXPECT_EQ(stringWithFormat(u"%y %d"_s, 5), u"%y 5"_s);
    EXPECT_EQ(stringWithFormat(u"50%"_s), u"50%"_s);
}
