#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/Object.h"
#include "platform/ValueClasses.h"
#include "platform/ValueConversion.h"

#include <gtest/gtest.h>

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>

#include <random>

using namespace platform;

namespace {

// A small archivable record: a name, a size and an optional child.
class ArchiveTestNode : public Object {
    PLATFORM_DECLARE_CLASS()

public:
    static std::shared_ptr<ArchiveTestNode> make(const QString& name, std::int64_t size) {
        auto node = std::make_shared<ArchiveTestNode>();
        node->name_ = name;
        node->size_ = size;
        return node;
    }
    QString name() const { return name_; }
    void setName(const QString& name) { name_ = name; }
    std::int64_t size() const { return size_; }
    void setSize(std::int64_t size) { size_ = size; }
    std::shared_ptr<ArchiveTestNode> child;

    bool supportsSecureCoding() const override { return true; }
    void encodeWithCoder(KeyedArchiver& coder) const override {
        coder.encodeObject(name_, QStringLiteral("name"));
        coder.encodeInteger(size_, QStringLiteral("size"));
        coder.encodeObject(child, QStringLiteral("child"));
    }
    bool initWithCoder(KeyedUnarchiver& coder) override {
        name_ = coder.decodeObjectOfClass(ValueClasses::string(), QStringLiteral("name")).toString();
        size_ = coder.decodeInteger(QStringLiteral("size"));
        child = coder.decodeObjectOfClass(staticClass(), QStringLiteral("child")).toObject<ArchiveTestNode>();
        return !name_.isEmpty();
    }
    bool isEqual(const Object& other) const override {
        const auto* node = dynamic_cast<const ArchiveTestNode*>(&other);
        return node && node->name_ == name_ && node->size_ == size_ &&
               Value(std::static_pointer_cast<Object>(child)) ==
                   Value(std::static_pointer_cast<Object>(node->child));
    }

private:
    QString name_;
    std::int64_t size_ = 0;
};

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    ArchiveTestNode, Object, [] { return std::make_shared<ArchiveTestNode>(); },
    [](Class& c) {
        addProperty(c, QStringLiteral("name"), &ArchiveTestNode::name, &ArchiveTestNode::setName);
        addProperty(c, QStringLiteral("size"), &ArchiveTestNode::size, &ArchiveTestNode::setSize);
    })

// A subclass nothing in this program names: only an archive would bring it.
class ArchiveTestUnusedLeaf : public ArchiveTestNode {
    PLATFORM_DECLARE_CLASS()
};
PLATFORM_DEFINE_CLASS(ArchiveTestUnusedLeaf, ArchiveTestNode,
                      [] { return std::make_shared<ArchiveTestUnusedLeaf>(); })

// An object that may not be archived.
class ArchiveTestPlain : public Object {
    PLATFORM_DECLARE_CLASS()
};
PLATFORM_DEFINE_CLASS(ArchiveTestPlain, Object, [] { return std::make_shared<ArchiveTestPlain>(); })

const KeyedUnarchiver::Classes kPlainClasses{
    ValueClasses::null(), ValueClasses::number(),     ValueClasses::string(), ValueClasses::data(),
    ValueClasses::date(), ValueClasses::url(),        ValueClasses::uuid(),   ValueClasses::array(),
    ValueClasses::set(),  ValueClasses::dictionary(), ValueClasses::error()};

Value roundTrip(const Value& value, const KeyedUnarchiver::Classes& classes = kPlainClasses) {
    Error error(QString(), 0);
    const auto data = KeyedArchiver::archivedDataWithRootObject(value, &error);
    EXPECT_TRUE(data) << error.description().toStdString();
    const auto back =
        KeyedUnarchiver::unarchivedObjectOfClasses(classes, data.value_or(QByteArray()), &error);
    EXPECT_TRUE(back) << error.description().toStdString();
    return back.value_or(Value());
}

Value richValue() {
    const Error cause(NSPOSIXErrorDomain, 2, {{NSLocalizedDescriptionKey, QStringLiteral("No such file")}});
    return Value::Dictionary{
        {QStringLiteral("flag"), true},
        {QStringLiteral("count"), std::int64_t(-42)},
        {QStringLiteral("huge"), std::uint64_t(18446744073709551615ULL)},
        {QStringLiteral("ratio"), 0.25},
        {QStringLiteral("text"), QStringLiteral("Orbit Notes ✓")},
        {QStringLiteral("bytes"), QByteArray("\x00\x01\xff", 3)},
        {QStringLiteral("when"), QDateTime::fromMSecsSinceEpoch(1765043435123LL, Qt::UTC)},
        {QStringLiteral("before"), QDateTime::fromMSecsSinceEpoch(-1234567LL, Qt::UTC)},
        {QStringLiteral("link"), QUrl(QStringLiteral("https://example.test/a?b=c"))},
        {QStringLiteral("id"), QUuid(QStringLiteral("{67C8770B-44F1-410A-AB9A-F9B5446F13EE}"))},
        {QStringLiteral("list"), Value::Array{1, QStringLiteral("two"), Value(), Value::Array{}}},
        {QStringLiteral("tags"), Value::set({QStringLiteral("a"), QStringLiteral("b")})},
        {QStringLiteral("$class"), QStringLiteral("a dictionary key, not a class")},
        {QStringLiteral("$$odd"), 1},
        {QStringLiteral("failure"),
         Error(QStringLiteral("d"), -7,
               {{NSLocalizedDescriptionKey, QStringLiteral("broke")}, {NSUnderlyingErrorKey, cause}})},
    };
}

TEST(KeyedArchive, EveryValueKindComesBackWithItsKind) {
    const Value original = richValue();
    const Value back = roundTrip(original);
    EXPECT_EQ(back, original);
    EXPECT_EQ(back[QStringLiteral("flag")].kind(), Value::Kind::Bool);
    EXPECT_EQ(back[QStringLiteral("count")].kind(), Value::Kind::Integer);
    EXPECT_EQ(back[QStringLiteral("huge")].kind(), Value::Kind::Unsigned);
    EXPECT_EQ(back[QStringLiteral("ratio")].kind(), Value::Kind::Double);
    EXPECT_EQ(back[QStringLiteral("when")].toDate().toMSecsSinceEpoch(), 1765043435123LL);
    EXPECT_EQ(back[QStringLiteral("before")].toDate().toMSecsSinceEpoch(), -1234567LL);
    EXPECT_EQ(back[QStringLiteral("link")].kind(), Value::Kind::URL);
    EXPECT_EQ(back[QStringLiteral("id")].kind(), Value::Kind::UUID);
    EXPECT_EQ(back[QStringLiteral("tags")].kind(), Value::Kind::Set);
    EXPECT_TRUE(back[QStringLiteral("list")].toArray()[2].isNull());
    const Error* failure = back[QStringLiteral("failure")].toError();
    ASSERT_NE(failure, nullptr);
    EXPECT_EQ(failure->underlyingError()->code(), 2);
}

TEST(KeyedArchive, DatesAreWrittenAsUTCTextWithMilliseconds) {
    // Calendar edges (leap days, century rules, the last four-digit year,
    // before 1970) and a spread of instants in between.
    QList<std::int64_t> instants{0,
                                 -1234567,
                                 951782400000,  // 2000-02-29
                                 951868800000,  // 2000-03-01
                                 4107542400000, // 2100-03-01
                                 1709251199999, // 2024-02-29T23:59:59.999
                                 253402300799999};
    std::mt19937_64 random(20261207);
    std::uniform_int_distribution<std::int64_t> anyInstant(0, 253402300799999);
    for (int i = 0; i < 2000; ++i) {
        instants.append(anyInstant(random));
    }
    for (const std::int64_t instant : instants) {
        const QDateTime date = QDateTime::fromMSecsSinceEpoch(instant, Qt::UTC);
        const auto data = KeyedArchiver::archivedDataWithRootObject(Value(date));
        ASSERT_TRUE(data);
        const QCborValue written = QCborValue::fromCbor(*data);
        ASSERT_TRUE(written.isTag()) << instant;
        EXPECT_EQ(written.tag(), QCborTag(QCborKnownTags::DateTimeString));
        EXPECT_EQ(written.taggedValue().toString(), date.toString(Qt::ISODateWithMs)) << instant;
        EXPECT_EQ(roundTrip(Value(date)).toDate().toMSecsSinceEpoch(), instant);
    }
}

TEST(KeyedArchive, ObjectsKeepTheirClassAndErrorsLeaveBehindWhatCannotTravel) {
    auto root = ArchiveTestNode::make(QStringLiteral("root"), 3);
    root->child = ArchiveTestNode::make(QStringLiteral("leaf"), 4);
    const Value back = roundTrip(root, {ArchiveTestNode::staticClass()});
    const auto node = back.toObject<ArchiveTestNode>();
    ASSERT_TRUE(node);
    EXPECT_EQ(node->name(), QStringLiteral("root"));
    EXPECT_EQ(node->child->size(), 4);
    EXPECT_TRUE(node->isEqual(*root));
    EXPECT_EQ(node->valueForKey(QStringLiteral("size")), Value(3));

    const Error withAttempt(
        QStringLiteral("d"), 1,
        {{QStringLiteral("attempt"), std::make_shared<ArchiveTestPlain>()}, {QStringLiteral("kept"), 5}});
    const Value back2 = roundTrip(withAttempt);
    const Error* error = back2.toError();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->userInfo(), (Value::Dictionary{{QStringLiteral("kept"), 5}}));
}

// Reading an error admits plain values and errors only, so a coded object in
// its user info (directly, inside a container, or in an underlying error)
// must stay behind or the whole archive would be unreadable.
TEST(KeyedArchive, ErrorsCarryingCodedObjectsStillReadBack) {
    const auto node = ArchiveTestNode::make(QStringLiteral("record"), 1);
    const Error underlying(
        QStringLiteral("inner"), 2,
        {{QStringLiteral("record"), node}, {QStringLiteral("kept"), QStringLiteral("yes")}});
    const Error outer(
        QStringLiteral("outer"), 3,
        {{QStringLiteral("record"), node},
         {QStringLiteral("records"), Value::Array{1, node}},
         {QStringLiteral("byName"), Value::Dictionary{{QStringLiteral("n"), node}}},
         {QStringLiteral("plain"), Value::Array{1, Value::Dictionary{{QStringLiteral("a"), 2}}}},
         {NSUnderlyingErrorKey, underlying}});
    const Value back = roundTrip(Value::Array{outer, node},
                                 kPlainClasses + KeyedUnarchiver::Classes{ArchiveTestNode::staticClass()});
    ASSERT_EQ(back.toArray().size(), 2);
    const Error* error = back.toArray()[0].toError();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->userInfo().keys(), (QList<QString>{NSUnderlyingErrorKey, QStringLiteral("plain")}));
    EXPECT_EQ(error->userInfo().value(QStringLiteral("plain")),
              outer.userInfo().value(QStringLiteral("plain")));
    ASSERT_TRUE(error->underlyingError());
    EXPECT_EQ(error->underlyingError()->userInfo(),
              (Value::Dictionary{{QStringLiteral("kept"), QStringLiteral("yes")}}));
    // Outside an error's user info the object travels as usual.
    EXPECT_TRUE(back.toArray()[1].toObject<ArchiveTestNode>());
}

TEST(KeyedArchive, ClassesNotUsedYetAreFoundByName) {
    // Readers look the classes of archived objects up by name, also those
    // this process has never made itself.
    const Class* leaf = Class::named(QStringLiteral("ArchiveTestUnusedLeaf"));
    ASSERT_NE(leaf, nullptr);
    EXPECT_TRUE(leaf->isSubclassOf(ArchiveTestNode::staticClass()));
    EXPECT_NE(leaf->make(), nullptr);
    EXPECT_EQ(Class::named(QStringLiteral("ArchiveTestNoSuchClass")), nullptr);
}

TEST(KeyedArchive, BytesAfterTheArchivedValueAreRefused) {
    const QByteArray data = *KeyedArchiver::archivedDataWithRootObject(richValue());
    ASSERT_TRUE(KeyedUnarchiver::unarchivedObjectOfClasses(kPlainClasses, data));
    for (const QByteArray& tail : {QByteArray(1, '\0'), QByteArray("\x01"), data}) {
        Error error(QString(), 0);
        EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClasses(kPlainClasses, data + tail, &error))
            << tail.size() << " trailing bytes";
        EXPECT_EQ(error.code(), 4864);
        EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("after its value")))
            << error.description().toStdString();
    }
}

TEST(KeyedArchive, ArchivingRefusesObjectsThatCannotBeCodedOrContainThemselves) {
    Error error(QString(), 0);
    EXPECT_FALSE(KeyedArchiver::archivedDataWithRootObject(std::make_shared<ArchiveTestPlain>(), &error));
    EXPECT_EQ(error.domain(), NSCocoaErrorDomain);

    auto loop = ArchiveTestNode::make(QStringLiteral("loop"), 1);
    loop->child = loop;
    EXPECT_FALSE(KeyedArchiver::archivedDataWithRootObject(loop, &error));
    EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("contains itself")));
    loop->child.reset();
}

TEST(KeyedArchive, ReadingRefusesClassesOutsideTheAllowedList) {
    auto root = ArchiveTestNode::make(QStringLiteral("root"), 1);
    root->child = ArchiveTestNode::make(QStringLiteral("leaf"), 2);
    const QByteArray data = *KeyedArchiver::archivedDataWithRootObject(root);
    Error error(QString(), 0);

    EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClasses({ValueClasses::string()}, data, &error));
    EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("ArchiveTestNode")))
        << error.description().toStdString();
    // NSObject admits every class below it.
    EXPECT_TRUE(KeyedUnarchiver::unarchivedObjectOfClasses({Object::staticClass()}, data));

    // Elements of containers are held to the list as well.
    const QByteArray list = *KeyedArchiver::archivedDataWithRootObject(Value::Array{QStringLiteral("a"), 1});
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClasses({ValueClasses::array(), ValueClasses::string()},
                                                            list, &error));
    EXPECT_TRUE(KeyedUnarchiver::unarchivedObjectOfClasses(
        {ValueClasses::array(), ValueClasses::string(), ValueClasses::number()}, list));

    // Unknown class names and classes that do not code are refused, whatever the list.
    QCborMap forged;
    forged.insert(QStringLiteral("$class"), QStringLiteral("NoSuchClassAnywhere"));
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClasses({Object::staticClass()},
                                                            QCborValue(forged).toCbor(), &error));
    forged.insert(QStringLiteral("$class"), QStringLiteral("ArchiveTestPlain"));
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClasses({Object::staticClass()},
                                                            QCborValue(forged).toCbor(), &error));
    // A value of the wrong kind under a key makes the object invalid.
    forged.insert(QStringLiteral("$class"), QStringLiteral("ArchiveTestNode"));
    forged.insert(QStringLiteral("name"), 12);
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClasses({ArchiveTestNode::staticClass()},
                                                            QCborValue(forged).toCbor(), &error));
}

TEST(KeyedArchive, AbsurdNestingIsAnErrorNotACrash) {
    QByteArray deep;
    for (int i = 0; i < 100000; ++i) {
        deep.append(char(0x81)); // an array of one element
    }
    deep.append(char(0x01));
    Error error(QString(), 0);
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClasses(kPlainClasses, deep, &error));

    QCborValue nested = QCborValue(1);
    for (int i = 0; i < KeyedUnarchiver::MaximumDepth + 10; ++i) {
        nested = QCborArray{nested};
    }
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClasses(kPlainClasses, nested.toCbor(), &error));
    EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("nests deeper")));
}

// Damaged archives (every truncation, thousands of bit flips, random bytes)
// must give an error or a valid value, never a crash; the sanitizers watch.
TEST(KeyedArchive, DamagedArchivesGiveAnErrorOrAValidValue) {
    auto root = ArchiveTestNode::make(QStringLiteral("root"), 1);
    root->child = ArchiveTestNode::make(QStringLiteral("leaf"), 2);
    const Value mixed = Value::Array{richValue(), root};
    const QByteArray data = *KeyedArchiver::archivedDataWithRootObject(mixed);
    const KeyedUnarchiver::Classes classes =
        kPlainClasses + KeyedUnarchiver::Classes{ArchiveTestNode::staticClass()};

    int refused = 0;
    int accepted = 0;
    auto attempt = [&](const QByteArray& input) {
        Error error(QString(), 0);
        if (const auto value = KeyedUnarchiver::unarchivedObjectOfClasses(classes, input, &error)) {
            ++accepted;
            // Whatever came back must itself be archivable again.
            EXPECT_TRUE(KeyedArchiver::archivedDataWithRootObject(*value));
        } else {
            ++refused;
            EXPECT_FALSE(error.localizedDescription().isEmpty());
        }
    };
    for (qsizetype length = 0; length < data.size(); ++length) {
        attempt(data.left(length));
    }
    std::mt19937 random(20261206);
    for (int i = 0; i < 4000; ++i) {
        QByteArray flipped = data;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int f = 0; f < flips; ++f) {
            flipped[random() % flipped.size()] ^= static_cast<char>(1 << (random() % 8));
        }
        attempt(flipped);
    }
    for (int i = 0; i < 2000; ++i) {
        QByteArray noise(static_cast<qsizetype>(random() % 64), Qt::Uninitialized);
        for (char& c : noise) {
            c = static_cast<char>(random());
        }
        attempt(noise);
    }
    EXPECT_EQ(refused + accepted, data.size() + 6000);
    EXPECT_GT(refused, 0);
    EXPECT_TRUE(KeyedUnarchiver::unarchivedObjectOfClasses(classes, data)) << "the intact archive reads";
}

} // namespace
