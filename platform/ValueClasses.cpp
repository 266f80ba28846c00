#include "ValueClasses.h"

#include "Error.h"
#include "Object.h"
#include "Value.h"

namespace platform::ValueClasses {

// Each class registers on first use, below NSObject, without a factory.
#define PLATFORM_VALUE_CLASS(function, name)                                                                 \
    const Class* function() {                                                                                \
        static const Class* c = Class::registerClass(QStringLiteral(name), Object::staticClass(), nullptr);  \
        return c;                                                                                            \
    }

PLATFORM_VALUE_CLASS(null, "NSNull")
PLATFORM_VALUE_CLASS(number, "NSNumber")
PLATFORM_VALUE_CLASS(string, "NSString")
PLATFORM_VALUE_CLASS(data, "NSData")
PLATFORM_VALUE_CLASS(date, "NSDate")
PLATFORM_VALUE_CLASS(url, "NSURL")
PLATFORM_VALUE_CLASS(uuid, "NSUUID")
PLATFORM_VALUE_CLASS(array, "NSArray")
PLATFORM_VALUE_CLASS(set, "NSSet")
PLATFORM_VALUE_CLASS(dictionary, "NSDictionary")
PLATFORM_VALUE_CLASS(error, "NSError")

#undef PLATFORM_VALUE_CLASS

QList<const Class*> propertyListClasses() {
    return {number(), string(), data(), date(), array(), dictionary()};
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
