#include "SpecificTools/Model/AFXBaseMutableModelObject.h"
#include "SpecificTools/Model/AFXCodedModelObject.h"
#include "platform/ValueClasses.h"
#include "platform/ValueConversion.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

// A mutable record with two fields; it is valid only with a name.
class ModelTestTicket : public AFXBaseMutableModelObject {
    AFX_DECLARE_MODEL_CLASS(ModelTestTicket)

public:
    static std::shared_ptr<BRClassReflection> makeReflection() {
        auto reflection = BRReflection<AFXBaseMutableModelObject>()->copy();
        reflection->addPropertyForSelector(QStringLiteral("name"), ValueClasses::string());
        reflection->addPropertyForSelector(QStringLiteral("seats"), {ValueClasses::number()}, Value(1),
                                           nullptr);
        return reflection;
    }
    QString name() const { return name_; }
    void setName(const QString& name) { name_ = name; }
    std::int64_t seats() const { return seats_; }
    void setSeats(std::int64_t seats) { seats_ = seats; }

private:
    bool isValidAfterDecoding() const override { return !name_.isEmpty(); }
    QString name_;
    std::int64_t seats_ = 0;
};
PLATFORM_DEFINE_CLASS_WITH_SETUP(
    ModelTestTicket, AFXBaseMutableModelObject, [] { return std::make_shared<ModelTestTicket>(); },
    [](Class& c) {
        addProperty(c, QStringLiteral("name"), &ModelTestTicket::name, &ModelTestTicket::setName);
        addProperty(c, QStringLiteral("seats"), &ModelTestTicket::seats, &ModelTestTicket::setSeats);
    })

// An immutable record: copies are the same object.
class ModelTestStamp : public AFXBaseModelObject {
    AFX_DECLARE_MODEL_CLASS(ModelTestStamp)

public:
    static std::shared_ptr<BRClassReflection> makeReflection() {
        return BRReflection<AFXBaseModelObject>()->copy();
    }
};
PLATFORM_DEFINE_CLASS(ModelTestStamp, AFXBaseModelObject, [] { return std::make_shared<ModelTestStamp>(); })

TEST(ModelBase, RecordsArchiveTheirDeclaredFieldsAndRefuseInvalidOnes) {
    auto ticket = std::make_shared<ModelTestTicket>();
    ticket->setName(QStringLiteral("front row"));
    ticket->setSeats(3);
    const QByteArray data = *KeyedArchiver::archivedDataWithRootObject(ticket);
    const auto back = KeyedUnarchiver::unarchivedObjectOfClass<ModelTestTicket>(data);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->name(), QStringLiteral("front row"));
    EXPECT_EQ(back->seats(), 3);

    ticket->setName(QString());
    ticket->setSeats(0);
    Error error(QString(), 0);
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClasses(
        {ModelTestTicket::staticClass()}, *KeyedArchiver::archivedDataWithRootObject(ticket), &error));
    EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("not valid")));
}

TEST(ModelBase, MutableRecordsCopyTheirFieldsImmutableOnesAreShared) {
    auto ticket = std::make_shared<ModelTestTicket>();
    ticket->setName(QStringLiteral("balcony"));
    ticket->setSeats(2);
    const auto copy = std::dynamic_pointer_cast<ModelTestTicket>(ticket->copy());
    ASSERT_TRUE(copy);
    EXPECT_NE(copy, ticket);
    EXPECT_EQ(copy->name(), QStringLiteral("balcony"));
    EXPECT_EQ(copy->seats(), 2);
    copy->setSeats(5);
    EXPECT_EQ(ticket->seats(), 2);

    auto stamp = std::make_shared<ModelTestStamp>();
    EXPECT_EQ(stamp->copy(), stamp);
    EXPECT_TRUE(ModelTestTicket::staticClass()->isSubclassOf(AFXBaseModelObject::staticClass()));
}

} // namespace
