#include "ValueClasses.h"

#include "Error.h"
#include "Object.h"
#include "Value.h"

namespace platform::ValueClasses {

namespace {
const Class* valueClass(const char* name) {
    return Class::registerClass(QString::fromLatin1(name), Object::staticClass(), nullptr);
}
} // namespace

const Class* null() {
    static const Class* c = valueClass("NSNull");
    return c;
}
const Class* number() {
    static const Class* c = valueClass("NSNumber");
    return c;
}
const Class* string() {
    static const Class* c = valueClass("NSString");
    return c;
}
const Class* data() {
    static const Class* c = valueClass("NSData");
    return c;
}
const Class* date() {
    static const Class* c = valueClass("NSDate");
    return c;
}
const Class* url() {
    static const Class* c = valueClass("NSURL");
    return c;
}
const Class* uuid() {
    static const Class* c = valueClass("NSUUID");
    return c;
}
const Class* array() {
    static const Class* c = valueClass("NSArray");
    return c;
}
const Class* set() {
    static const Class* c = valueClass("NSSet");
    return c;
}
const Class* dictionary() {
    static const Class* c = valueClass("NSDictionary");
    return c;
}
const Class* error() {
    static const Class* c = valueClass("NSError");
    return c;
}

const Class* classOf(const Value& value) {
    switch (value.kind()) {
    case Value::Kind::Null:
        return null();
    case Value::Kind::Bool:
    case Value::Kind::Integer:
    case Value::Kind::Unsigned:
    case Value::Kind::Double:
        return number();
    case Value::Kind::String:
        return string();
    case Value::Kind::Data:
        return data();
    case Value::Kind::Date:
        return date();
    case Value::Kind::URL:
        return url();
    case Value::Kind::UUID:
        return uuid();
    case Value::Kind::Array:
        return array();
    case Value::Kind::Set:
        return set();
    case Value::Kind::Dictionary:
        return dictionary();
    case Value::Kind::Object:
        return value.toObject()->objectClass();
    case Value::Kind::Error:
        return error();
    }
    return null();
}

} // namespace platform::ValueClasses
