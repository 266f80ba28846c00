#include "BRValueOrErrorObject.h"

#include "platform/Hash.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/ValueClasses.h"

namespace {
const QString kValueKey = QStringLiteral("value");
const QString kErrorKey = QStringLiteral("error");
} // namespace

const platform::Class* BRValueOrErrorObject::staticClass() {
    static const platform::Class* registered =
        platform::Class::registerClass(QStringLiteral("BRValueOrError"), platform::Object::staticClass(), [] {
            return std::shared_ptr<BRValueOrErrorObject>(new BRValueOrErrorObject);
        });
    return registered;
}

std::shared_ptr<BRValueOrErrorObject> BRValueOrErrorObject::makeWithHolder(BRAnyValueOrError holder) {
    std::shared_ptr<BRValueOrErrorObject> object(new BRValueOrErrorObject);
    object->holder_ = std::move(holder);
    return object;
}

std::optional<BRAnyValueOrError> BRValueOrErrorObject::holderOf(const platform::Value& value) {
    if (const auto object = value.toObject<BRValueOrErrorObject>(); object && object->holder_) {
        return object->holder_;
    }
    return std::nullopt;
}

bool BRValueOrErrorObject::isEqual(const platform::Object& other) const {
    const auto* that = dynamic_cast<const BRValueOrErrorObject*>(&other);
    if (!that || !holder_ || !that->holder_) {
        return that == this;
    }
    if (holder_->hasValue() != that->holder_->hasValue()) {
        return false;
    }
    return holder_->hasValue() ? *holder_->value() == *that->holder_->value()
                               : *holder_->error() == *that->holder_->error();
}

std::uint64_t BRValueOrErrorObject::hash() const {
    if (!holder_) {
        return 0;
    }
    return holder_->hasValue() ? holder_->value()->hash() : holder_->error()->hash();
}

QString BRValueOrErrorObject::description() const {
    if (!holder_) {
        return platform::Object::description();
    }
    return holder_->hasValue()
               ? QStringLiteral("<BRValueOrError value: %1>").arg(holder_->value()->description())
               : QStringLiteral("<BRValueOrError error: %1>").arg(holder_->error()->description());
}

void BRValueOrErrorObject::encodeWithCoder(platform::KeyedArchiver& coder) const {
    if (!holder_) {
        return;
    }
    holder_->onValue([&](const platform::Value& value) { coder.encodeObject(value, kValueKey); })
        .onError([&](const platform::Error& error) { coder.encodeObject(error, kErrorKey); });
}

bool BRValueOrErrorObject::initWithCoder(platform::KeyedUnarchiver& coder) {
    const platform::Value value = coder.decodeObjectOfClass(platform::Object::staticClass(), kValueKey);
    const platform::Value error = coder.decodeObjectOfClass(platform::ValueClasses::error(), kErrorKey);
    if (value.isNull() == error.isNull()) {
        return false;
    }
    holder_ = value.isNull() ? BRAnyValueOrError::makeWithError(*error.toError())
                             : BRAnyValueOrError::makeWithValue(value);
    return true;
}
