#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/ValueClasses.h"
#include "platform/ValueConversion.h"
#include "support/BRClassReflection.h"

#include <gtest/gtest.h>

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>

#include <atomic>

using namespace platform;

namespace {

// Stores a count as its text, to show what a transformer does to the archive.
class CountAsText : public ValueTransformer {
public:
    Value transformedValue(const Value& value) const override {
        return value.isNull() ? Value() : Value(QString::number(value.toInteger()));
    }
    Value reverseTransformedValue(const Value& value) const override { return value.toString().toLongLong(); }
};

std::atomic<int> gShelfReflections{0};

// A record whose coding and copying come from its reflection.
class ReflectionTestShelf : public Object {
    PLATFORM_DECLARE_CLASS()

public:
    static std::shared_ptr<BRClassReflection> makeReflection() {
        ++gShelfReflections;
        auto reflection = BRClassReflection::makeReflection();
        reflection->addPropertyForSelector(QStringLiteral("title"), ValueClasses::string());
        reflection->addPropertyForSelector(QStringLiteral("tags"), ValueClasses::set(),
                                           ValueClasses::string());
        reflection->addPropertyForSelector(QStringLiteral("count"), {ValueClasses::string()}, Value(7),
                                           std::make_shared<CountAsText>());
        return reflection;
    }
    virtual std::shared_ptr<const BRClassReflection> reflection() const {
        return BRReflection<ReflectionTestShelf>();
    }

    QString title() const { return title_; }
    void setTitle(const QString& title) { title_ = title; }
    Value tags() const { return tags_; }
    void setTags(const Value& tags) { tags_ = tags; }
    std::int64_t count() const { return count_; }
    void setCount(std::int64_t count) { count_ = count; }

    bool supportsSecureCoding() const override { return true; }
    void encodeWithCoder(KeyedArchiver& coder) const override { reflection()->encodeObject(*this, coder); }
    bool initWithCoder(KeyedUnarchiver& coder) override {
        reflection()->decodeObject(*this, coder);
        return !coder.error();
    }

private:
    QString title_;
    Value tags_;
    std::int64_t count_ = 0;
};

void shelfAccessors(Class& c) {
    addProperty(c, QStringLiteral("title"), &ReflectionTestShelf::title, &ReflectionTestShelf::setTitle);
    addProperty(c, QStringLiteral("tags"), &ReflectionTestShelf::tags, &ReflectionTestShelf::setTags);
    addProperty(c, QStringLiteral("count"), &ReflectionTestShelf::count, &ReflectionTestShelf::setCount);
}
PLATFORM_DEFINE_CLASS_WITH_SETUP(
    ReflectionTestShelf, Object, [] { return std::make_shared<ReflectionTestShelf>(); }, shelfAccessors)

// A subclass that declares "title" again, as a number, and adds its own key.
class ReflectionTestBookcase : public ReflectionTestShelf {
    PLATFORM_DECLARE_CLASS()

public:
    static std::shared_ptr<BRClassReflection> makeReflection() {
        auto reflection = BRReflection<ReflectionTestShelf>()->copy();
        reflection->addPropertyForSelector(QStringLiteral("title"), ValueClasses::number());
        reflection->addPropertyForSelector(QStringLiteral("owner"), ValueClasses::string());
        return reflection;
    }
    std::shared_ptr<const BRClassReflection> reflection() const override {
        return BRReflection<ReflectionTestBookcase>();
    }
    QString owner() const { return owner_; }
    void setOwner(const QString& owner) { owner_ = owner; }

private:
    QString owner_;
};
PLATFORM_DEFINE_CLASS_WITH_SETUP(
    ReflectionTestBookcase, ReflectionTestShelf, [] { return std::make_shared<ReflectionTestBookcase>(); },
    [](Class& c) {
        addProperty(c, QStringLiteral("owner"), &ReflectionTestBookcase::owner,
                    &ReflectionTestBookcase::setOwner);
    })

// A subclass coded through its superclass's reflection that keeps the title
// in a field of its own: the superclass's accessor would read and write the
// wrong one, and its own used on a plain shelf would be a bad downcast.
class ReflectionTestCrate : public ReflectionTestShelf {
    PLATFORM_DECLARE_CLASS()

public:
    QString label() const { return label_; }
    void setLabel(const QString& label) { label_ = label; }

private:
    QString label_;
};
PLATFORM_DEFINE_CLASS_WITH_SETUP(
    ReflectionTestCrate, ReflectionTestShelf, [] { return std::make_shared<ReflectionTestCrate>(); },
    [](Class& c) {
        addProperty(c, QStringLiteral("title"), &ReflectionTestCrate::label, &ReflectionTestCrate::setLabel);
    })

std::shared_ptr<ReflectionTestShelf> decode(const QByteArray& data, const Class* aClass) {
    Error error(QString(), 0);
    const auto value = KeyedUnarchiver::unarchivedObjectOfClasses({aClass}, data, &error);
    EXPECT_TRUE(value) << error.description().toStdString();
    return value ? value->toObject<ReflectionTestShelf>() : nullptr;
}

TEST(ClassReflection, RecordsRoundTripWithTransformersAndDefaults) {
    auto shelf = std::make_shared<ReflectionTestShelf>();
    shelf->setTitle(QStringLiteral("Notes"));
    shelf->setTags(Value::set({QStringLiteral("work"), QStringLiteral("home")}));
    shelf->setCount(12);
    const QByteArray data = *KeyedArchiver::archivedDataWithRootObject(shelf);

    // The count is stored in its transformed form...
    const QCborMap stored = QCborValue::fromCbor(data).toMap();
    EXPECT_EQ(stored.value(QStringLiteral("count")).toString(), QStringLiteral("12"));
    EXPECT_EQ(stored.value(QStringLiteral("$class")).toString(), QStringLiteral("ReflectionTestShelf"));
    // ...and comes back in its own.
    const auto back = decode(data, ReflectionTestShelf::staticClass());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->title(), QStringLiteral("Notes"));
    EXPECT_EQ(back->tags(), shelf->tags());
    EXPECT_EQ(back->count(), 12);

    // An archive without the key gives the default.
    QCborMap bare;
    bare.insert(QStringLiteral("$class"), QStringLiteral("ReflectionTestShelf"));
    const auto defaulted = decode(QCborValue(bare).toCbor(), ReflectionTestShelf::staticClass());
    ASSERT_TRUE(defaulted);
    EXPECT_EQ(defaulted->count(), 7);
    EXPECT_TRUE(defaulted->title().isEmpty());

    // Elements of a container are held to the declared classes.
    bare.insert(QStringLiteral("tags"), QCborValue(QCborTag(258), QCborArray({1, 2})));
    Error error(QString(), 0);
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClasses({ReflectionTestShelf::staticClass()},
                                                            QCborValue(bare).toCbor(), &error));
}

TEST(ClassReflection, EachClassMakesItsReflectionOnceAndSubclassesKeepTheFirstDeclaration) {
    const int before = gShelfReflections;
    const auto first = BRReflection<ReflectionTestShelf>();
    const auto second = BRReflection<ReflectionTestShelf>();
    EXPECT_EQ(first, second);
    EXPECT_LE(gShelfReflections - before, 1);

    const auto bookcase = BRReflection<ReflectionTestBookcase>();
    EXPECT_EQ(bookcase->propertyReflections().size(), 4);
    // Looking a key up answers the new declaration; coding keeps the first.
    EXPECT_EQ(bookcase->propertyReflectionForKey(QStringLiteral("title"))->objectClasses(),
              BRClassReflection::Classes{ValueClasses::number()});
    auto object = std::make_shared<ReflectionTestBookcase>();
    object->setTitle(QStringLiteral("still text"));
    object->setOwner(QStringLiteral("Ada"));
    const auto back =
        decode(*KeyedArchiver::archivedDataWithRootObject(object), ReflectionTestBookcase::staticClass());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->title(), QStringLiteral("still text"));
    EXPECT_EQ(std::dynamic_pointer_cast<ReflectionTestBookcase>(back)->owner(), QStringLiteral("Ada"));
    // The superclass's reflection is not changed by the subclass's additions.
    EXPECT_FALSE(first->propertyReflectionForKey(QStringLiteral("owner")));
}

TEST(ClassReflection, ObjectsAreCodedThroughTheAccessorsOfTheirOwnClass) {
    // The shelf's reflection exists and has been used before any subclass is coded.
    auto shelf = std::make_shared<ReflectionTestShelf>();
    shelf->setTitle(QStringLiteral("Plain"));
    const QByteArray shelfData = *KeyedArchiver::archivedDataWithRootObject(shelf);

    auto crate = std::make_shared<ReflectionTestCrate>();
    crate->setLabel(QStringLiteral("Fragile"));
    crate->setCount(2);
    const QByteArray crateData = *KeyedArchiver::archivedDataWithRootObject(crate);
    EXPECT_EQ(QCborValue::fromCbor(crateData).toMap().value(QStringLiteral("title")).toString(),
              QStringLiteral("Fragile"));
    const auto crateBack =
        std::dynamic_pointer_cast<ReflectionTestCrate>(decode(crateData, ReflectionTestShelf::staticClass()));
    ASSERT_TRUE(crateBack);
    EXPECT_EQ(crateBack->label(), QStringLiteral("Fragile"));
    EXPECT_TRUE(crateBack->title().isEmpty());
    EXPECT_EQ(crateBack->count(), 2);

    // A subclass with a reflection of its own codes the keys it adds, and
    // shelves still go through the shelf's accessors afterwards.
    auto bookcase = std::make_shared<ReflectionTestBookcase>();
    bookcase->setTitle(QStringLiteral("Tall"));
    bookcase->setOwner(QStringLiteral("Ada"));
    const auto bookcaseBack = std::dynamic_pointer_cast<ReflectionTestBookcase>(
        decode(*KeyedArchiver::archivedDataWithRootObject(bookcase), ReflectionTestShelf::staticClass()));
    ASSERT_TRUE(bookcaseBack);
    EXPECT_EQ(bookcaseBack->title(), QStringLiteral("Tall"));
    EXPECT_EQ(bookcaseBack->owner(), QStringLiteral("Ada"));
    const auto shelfBack = decode(shelfData, ReflectionTestShelf::staticClass());
    ASSERT_TRUE(shelfBack);
    EXPECT_EQ(shelfBack->title(), QStringLiteral("Plain"));
    EXPECT_EQ(*KeyedArchiver::archivedDataWithRootObject(shelfBack), shelfData);
}

TEST(ClassReflection, CopyingFillsAnObjectFromItsPrototype) {
    auto prototype = std::make_shared<ReflectionTestBookcase>();
    prototype->setTitle(QStringLiteral("Shelf"));
    prototype->setCount(3);
    prototype->setOwner(QStringLiteral("Grace"));
    ReflectionTestBookcase copy;
    BRReflection<ReflectionTestBookcase>()->setupPropertiesOfObject(copy, *prototype);
    EXPECT_EQ(copy.title(), QStringLiteral("Shelf"));
    EXPECT_EQ(copy.count(), 3);
    EXPECT_EQ(copy.owner(), QStringLiteral("Grace"));

    // Key-value coding reaches the same properties and tells observers.
    int told = 0;
    copy.addObserver(QStringLiteral("owner"), [&](const QString&) { ++told; });
    EXPECT_TRUE(copy.setValueForKey(QStringLiteral("Linus"), QStringLiteral("owner")));
    EXPECT_FALSE(copy.setValueForKey(1, QStringLiteral("no such key")));
    EXPECT_EQ(copy.valueForKey(QStringLiteral("owner")), Value(QStringLiteral("Linus")));
    EXPECT_EQ(told, 1);
}

} // namespace
