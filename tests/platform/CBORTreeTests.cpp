#include "platform/CBORTree.h"

#include <gtest/gtest.h>

#include <QCborArray>
#include <QCborMap>
#include <QCborStreamReader>
#include <QCborValue>

#include <cmath>
#include <random>

using namespace platform;

namespace {

// The tree's item as the QCborValue a plain reader makes of the same bytes
// (before it turns tags into dates, URLs and UUIDs).
QCborValue toCbor(const CBORTree& tree, std::uint32_t index) {
    const CBORTree::Item& item = tree.item(index);
    switch (item.kind) {
    case CBORTree::Kind::Integer:
        return QCborValue(static_cast<qint64>(item.integer));
    case CBORTree::Kind::Double:
        return QCborValue(item.real);
    case CBORTree::Kind::Bytes:
        return QCborValue(tree.bytes(index).toByteArray());
    case CBORTree::Kind::Text:
        return QCborValue(tree.text(index));
    case CBORTree::Kind::Array: {
        QCborArray array;
        for (auto element = CBORTree::firstChild(index); element != item.end; element = tree.next(element)) {
            array.append(toCbor(tree, element));
        }
        EXPECT_EQ(static_cast<std::uint32_t>(array.size()), item.count);
        return array;
    }
    case CBORTree::Kind::Map: {
        QCborMap map;
        std::uint32_t pairs = 0;
        for (auto key = CBORTree::firstChild(index); key != item.end; key = tree.next(tree.next(key))) {
            map.insert(toCbor(tree, key), toCbor(tree, tree.next(key)));
            ++pairs;
        }
        EXPECT_EQ(pairs, item.count);
        return map;
    }
    case CBORTree::Kind::Tag:
        return QCborValue(QCborTag(item.tag), toCbor(tree, CBORTree::firstChild(index)));
    case CBORTree::Kind::False:
        return QCborValue(false);
    case CBORTree::Kind::True:
        return QCborValue(true);
    case CBORTree::Kind::Null:
        return QCborValue(nullptr);
    case CBORTree::Kind::Undefined:
        return QCborValue();
    }
    return {};
}

QCborValue plainlyRead(const QByteArray& data) {
    QCborStreamReader reader(data);
    return QCborValue::fromCbor(reader);
}

// Random documents of every kind the tree reads, nested a few levels.
QCborValue randomValue(std::mt19937& random, int depth) {
    std::uniform_int_distribution<int> kind(0, depth > 3 ? 6 : 9);
    switch (kind(random)) {
    case 0:
        return QCborValue(static_cast<qint64>(random()) - static_cast<qint64>(random()) * 4096);
    case 1:
        return QCborValue(std::ldexp(static_cast<double>(random()), -16));
    case 2:
        return QCborValue(QString::fromUtf8("k\xC3\xA9y-%1").arg(random() % 1000));
    case 3:
        return QCborValue(QByteArray(static_cast<int>(random() % 40), static_cast<char>(random())));
    case 4:
        return QCborValue(random() % 2 == 0);
    case 5:
        return QCborValue(nullptr);
    case 6:
        return QCborValue(std::numeric_limits<qint64>::min() + static_cast<qint64>(random() % 3));
    case 7: {
        QCborArray array;
        for (int i = static_cast<int>(random() % 5); i > 0; --i) {
            array.append(randomValue(random, depth + 1));
        }
        return array;
    }
    case 8: {
        QCborMap map;
        for (int i = static_cast<int>(random() % 5); i > 0; --i) {
            map.insert(QStringLiteral("f%1").arg(i), randomValue(random, depth + 1));
        }
        return map;
    }
    default:
        return QCborValue(QCborTag(258), randomValue(random, depth + 1));
    }
}

} // namespace

TEST(CBORTree, ReadsWhatAPlainReaderReadsAndRefusesEveryTruncation) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 300; ++round) {
        const QCborValue value = randomValue(random, 0);
        // Doubles written whole, and as half floats where they fit.
        for (const auto options : {QCborValue::NoTransformation, QCborValue::UseFloat16}) {
            const QByteArray data = value.toCbor(options);
            QString problem;
            const auto tree = CBORTree::read(data, 200, &problem);
            ASSERT_TRUE(tree) << problem.toStdString();
            EXPECT_EQ(toCbor(*tree, CBORTree::Root), plainlyRead(data)) << data.toHex().toStdString();
            for (qsizetype size = 0; size < data.size(); ++size) {
                EXPECT_FALSE(CBORTree::read(data.left(size), 200, &problem)) << size;
            }
        }
    }

    // An indefinite-length map and array, a half float, integers past the
    // signed range (a negative one QCborValue reads as 0) and key lookups.
    const QByteArray data = QByteArray::fromHex("bf636f6e659f01f93e00ff636269671bffffffffffffffff"
                                                "636e65673bffffffffffffffffff");
    QString problem;
    const auto tree = CBORTree::read(data, 200, &problem);
    ASSERT_TRUE(tree) << problem.toStdString();
    const auto one = tree->valueForKey(CBORTree::Root, u"one");
    ASSERT_TRUE(one);
    EXPECT_EQ(toCbor(*tree, *one), QCborValue(QCborArray{1, 1.5}));
    const auto big = tree->valueForKey(CBORTree::Root, u"big");
    ASSERT_TRUE(big);
    EXPECT_EQ(tree->item(*big).kind, CBORTree::Kind::Double);
    EXPECT_EQ(tree->item(*big).real, 18446744073709551616.0);
    const auto negative = tree->valueForKey(CBORTree::Root, u"neg");
    ASSERT_TRUE(negative);
    EXPECT_EQ(tree->item(*negative).real, -18446744073709551616.0);
    EXPECT_FALSE(tree->valueForKey(CBORTree::Root, u"none"));
}

TEST(CBORTree, RefusesDamageWithWhatAndWhere) {
    const auto problemOf = [](const char* hex, int depth = 200) {
        QString problem;
        EXPECT_FALSE(CBORTree::read(QByteArray::fromHex(hex), depth, &problem)) << hex;
        return problem.toStdString();
    };
    // A count far beyond the data is refused before anything is made for it.
    EXPECT_EQ(problemOf("9b7fffffffffffffff01"),
              "The archive is damaged: a container claims more items than the data holds at byte 0");
    EXPECT_EQ(problemOf("8263c3282801"),
              "The archive is damaged: a text string is not valid UTF-8 at byte 1");
    EXPECT_EQ(problemOf("0102"), "The archive has 1 bytes after its value at byte 1");
    EXPECT_EQ(problemOf("7f6161ff"),
              "The archive is damaged: strings of indefinite length are not used at byte 0");
    EXPECT_EQ(problemOf("f0"), "The archive is damaged: simple values other than false, true, null and "
                               "undefined are not used at byte 0");
    EXPECT_EQ(problemOf("81ff"), "The archive is damaged: a break stands outside any container at byte 1");
    EXPECT_EQ(problemOf("1c"), "The archive is damaged: an item has a reserved head at byte 0");
    EXPECT_EQ(problemOf("9f01"),
              "The archive is damaged: a container of indefinite length has no end at byte 0");
    EXPECT_EQ(problemOf("818181818101", 3), "The archive nests deeper than 3 levels");
    EXPECT_EQ(problemOf("81c1c1c1c1c101"),
              "The archive is damaged: tags are nested more deeply than archives use at byte 5");
    // Tags do not count as levels: a set (a tagged array) in every level.
    QString problem;
    EXPECT_TRUE(CBORTree::read(QByteArray::fromHex("d90102 81 d90102 81 d90102 81 01"), 3, &problem))
        << problem.toStdString();
}
