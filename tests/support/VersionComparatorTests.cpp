#include "support/BRVersionComparator.h"

#include <gtest/gtest.h>

namespace {

using Kind = BRVersionComparator::CharacterType;

TEST(VersionComparator, OrdersVersionsBothWays) {
    struct Case {
        const char* first;
        const char* second;
        int expected;
    };
    const Case cases[] = {
        {"1.0", "1.0.0", 0},
        {"1.0", "1", 0},
        {" 1.2 \n", "1.2", 0},
        {"1.0-beta", "1.0.beta", 0},
        {"1.0_Beta", "1.0.BETA", 0},
        {"1.007", "1.7", 0},
        {"", "", 0},
        {"2.0b3", "2.0", -1},
        {"2.0b3", "2.0b10", -1},
        {"2.0a9", "2.0b1", -1},
        {"1.0a", "1.0", -1},
        {"1.10", "1.9", 1},
        {"10.15.7", "11", -1},
        {"10.15.7", "null", 1},
        {"1.2.*", "1.2.999", 1},
        {"1.*", "1.*", 0},
        {"", "1", -1},
        {"1.0.1", "1.0", 1},
        // Runs of digits longer than any machine number still compare by value.
        {"1.99999999999999999999999", "1.100000000000000000000000", -1},
        {"18446744073709551616", "18446744073709551615", 1},
    };
    for (const Case& c : cases) {
        const QString first = QString::fromUtf8(c.first);
        const QString second = QString::fromUtf8(c.second);
        EXPECT_EQ(compareVersion(first, second), c.expected) << c.first << " vs " << c.second;
        EXPECT_EQ(compareVersion(second, first), -c.expected) << c.second << " vs " << c.first;
    }
}

TEST(VersionComparator, SplitsIntoRunsAndSingleSeparators) {
    EXPECT_EQ(BRVersionComparator::splitVersionString(QStringLiteral("\t 10.2b13-rc__1 \n")),
              (QStringList{"10", ".", "2", "b", "13", "-", "rc", "_", "_", "1"}));
    EXPECT_EQ(BRVersionComparator::splitVersionString(QStringLiteral("1..*")),
              (QStringList{"1", ".", ".", "*"}));
    // The plus sign is a symbol, not punctuation: it belongs to the text around it.
    EXPECT_EQ(BRVersionComparator::splitVersionString(QStringLiteral("2.0+dfsg1")),
              (QStringList{"2", ".", "0", "+dfsg", "1"}));
    EXPECT_TRUE(BRVersionComparator::splitVersionString(QStringLiteral(" \n ")).isEmpty());
}

TEST(VersionComparator, TypesCharacters) {
    const std::pair<const char16_t*, Kind> cases[] = {
        {u".", Kind::Separator}, {u"-", Kind::Separator}, {u"_", Kind::Separator},   {u"**", Kind::Separator},
        {u"*", Kind::Wildcard},  {u"7", Kind::Number},    {u"\u0663", Kind::Number}, {u"a7", Kind::Number},
        {u"+", Kind::Text},      {u"b", Kind::Text},      {u"", Kind::Text},
    };
    for (const auto& [character, kind] : cases) {
        EXPECT_EQ(BRVersionComparator::typeOfCharacter(QString::fromUtf16(character)), kind)
            << QString::fromUtf16(character).toStdString();
    }
}

} // namespace
