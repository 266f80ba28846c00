#include "PlatformPrinters.h"
#include "platform/Object.h"
#include "platform/PropertyList.h"

#include <gtest/gtest.h>

#include <limits>

using namespace platform;
using Format = PropertyList::Format;

namespace {

QDateTime utc(qint64 msecs) {
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
}

// Every kind a property list holds, with the awkward cases of each.
const Value kEveryKind(Value::Dictionary{
    {"yes", true},
    {"no", false},
    {"small", 42},
    {"big", std::numeric_limits<std::int64_t>::max()},
    {"negative", -123456789012LL},
    {"lowest", std::numeric_limits<std::int64_t>::min()},
    {"real", 3.25},
    {"whole real", 3.0},
    {"tiny", -1.5e-300},
    {"text", "Grüße 👋 \"quoted\" <tag> & more\nsecond line"},
    {"empty text", ""},
    {"data", QByteArray("\x00\x01\xfe\xff", 4)},
    {"empty data", QByteArray()},
    {"date", utc(1700000000000)},
    {"nested",
     Value::Array{Value::Array{1, "x"}, Value::Dictionary{{"k", Value::Array{}}}, Value::Dictionary{}}},
});

// Equality alone would not notice true turning into 1 or 3.0 into 3.
void expectSameKinds(const Value& written, const Value& read) {
    ASSERT_EQ(read.kind(), written.kind()) << written.description().toStdString();
    for (auto it = written.toDictionary().cbegin(); it != written.toDictionary().cend(); ++it) {
        expectSameKinds(it.value(), read[it.key()]);
    }
    for (qsizetype i = 0; i < written.toArray().size(); ++i) {
        expectSameKinds(written.toArray().at(i), read.toArray().at(i));
    }
}

qint64 dateRoundTrip(qint64 msecs, Format format) {
    const auto data = PropertyList::write(utc(msecs), format);
    const auto read = data ? PropertyList::read(*data) : std::nullopt;
    return read ? read->toDate().toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}

} // namespace

TEST(PropertyListTests, EveryKindSurvivesBothFormats) {
    for (const Format format : {Format::XML, Format::Binary}) {
        SCOPED_TRACE(format == Format::XML ? "XML" : "binary");
        Error error(QString(), 0);
        const auto data = PropertyList::write(kEveryKind, format, &error);
        ASSERT_TRUE(data.has_value()) << error.description().toStdString();
        EXPECT_TRUE(data->startsWith(format == Format::XML ? "<?xml" : "bplist00"));
        const auto read = PropertyList::read(*data, &error);
        ASSERT_TRUE(read.has_value()) << error.description().toStdString();
        EXPECT_EQ(*read, kEveryKind);
        expectSameKinds(kEveryKind, *read);
    }
    const Value other(
        Value::Dictionary{{"url", QUrl(QStringLiteral("https://example.com/a b"))},
                          {"uuid", QUuid::fromString(QStringLiteral("3f2504e0-4f89-11d3-9a0c-0305e82c3301"))},
                          {"set", Value::set({1, 2})}});
    EXPECT_EQ(PropertyList::read(*PropertyList::write(other, Format::Binary)),
              Value(Value::Dictionary{{"url", "https://example.com/a%20b"},
                                      {"uuid", "3F2504E0-4F89-11D3-9A0C-0305E82C3301"},
                                      {"set", Value::Array{1, 2}}}));
}

TEST(PropertyListTests, BinaryDatesKeepTheirMillisecondsAndXMLDatesTheirSeconds) {
    QList<qint64> moments; // every millisecond of one second, and moments around the format's 2001 epoch
    for (qint64 ms = 0; ms < 1000; ++ms) {
        moments << 1700000000000 + ms;
    }
    moments << 946684799987 << 978307195013 << 978307200000 << 0 << -1234567890;
    for (const qint64 msecs : moments) {
        EXPECT_EQ(dateRoundTrip(msecs, Format::Binary), msecs);
        EXPECT_LT(qAbs(dateRoundTrip(msecs, Format::XML) - msecs), 1000)
            << msecs; // the XML form has no fractions
    }
    // A date beyond what the writer holds is refused, never garbled.
    const QDateTime farFuture(QDate(4001, 1, 1), QTime(0, 0), Qt::UTC);
    for (const Format format : {Format::XML, Format::Binary}) {
        Error error(QString(), 0);
        if (const auto data = PropertyList::write(farFuture, format, &error)) {
            EXPECT_EQ(PropertyList::read(*data), Value(farFuture));
        } else {
            EXPECT_EQ(error.code(), 3851);
        }
    }
}

TEST(PropertyListTests, ValuesWithoutAPropertyListFormAreRefused) {
    class Opaque : public Object {};
    const Value unwritable[] = {Value(), Value(Value::Array{1, Value()}),
                                Value(Value::Dictionary{{"object", std::make_shared<Opaque>()}}),
                                Value(Error(NSCocoaErrorDomain, 1))};
    for (const Value& value : unwritable) {
        for (const Format format : {Format::XML, Format::Binary}) {
            Error error(QString(), 0);
            EXPECT_FALSE(PropertyList::write(value, format, &error).has_value())
                << value.description().toStdString();
            EXPECT_EQ(error.domain(), NSCocoaErrorDomain);
            EXPECT_EQ(error.code(), 3851);
        }
    }
}

TEST(PropertyListTests, MalformedInputIsAnErrorNeverACrash) {
    auto expectRefused = [](const QByteArray& data, const std::string& what) {
        Error error(QString(), 0);
        EXPECT_FALSE(PropertyList::read(data, &error).has_value()) << what;
        EXPECT_EQ(error.code(), 3840) << what;
    };
    expectRefused(QByteArray(), "empty input");
    expectRefused("this is not a property list", "garbage");
    expectRefused(QByteArray(300, '\xff'), "noise");
    expectRefused(QByteArray("bplist00") + QByteArray(64, '\0'), "binary header over zeros");
    const QByteArray binary = *PropertyList::write(kEveryKind, Format::Binary);
    for (qsizetype length = 0; length < binary.size(); ++length) {
        expectRefused(binary.left(length), "binary cut at " + std::to_string(length));
    }
    QByteArray damaged = binary;
    damaged[damaged.size() - 20] = '\x7f'; // the trailer's object count
    expectRefused(damaged, "damaged binary trailer");
    const QByteArray xml = *PropertyList::write(kEveryKind, Format::XML);
    for (const qsizetype length : {xml.size() / 4, xml.size() / 2, xml.indexOf("<key>nested")}) {
        expectRefused(xml.left(length), "XML cut at " + std::to_string(length));
    }
}
