#pragma once

#include "Error.h"
#include "Object.h"
#include "Value.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <memory>
#include <optional>
#include <type_traits>

namespace platform {

// Conversions between typed properties and Values, for key-value coding.
// `from` answers the neutral value of the type (empty, zero, null) when the
// Value holds something else.
template <typename T, typename = void> struct ValueConversion;

template <> struct ValueConversion<Value> {
    static Value to(const Value& v) { return v; }
    static Value from(const Value& v) { return v; }
};

template <typename T>
struct ValueConversion<T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>> {
    static Value to(T v) { return Value(v); }
    static T from(const Value& v) {
        if constexpr (std::is_signed_v<T>) {
            return static_cast<T>(v.toInteger());
        } else {
            return static_cast<T>(v.toUnsigned());
        }
    }
};

template <typename T> struct ValueConversion<T, std::enable_if_t<std::is_enum_v<T>>> {
    static Value to(T v) { return Value(static_cast<std::int64_t>(v)); }
    static T from(const Value& v) { return static_cast<T>(v.toInteger()); }
};

#define PLATFORM_VALUE_CONVERSION(Type, reader)                                                              \
    template <> struct ValueConversion<Type> {                                                               \
        static Value to(const Type& v) { return Value(v); }                                                  \
        static Type from(const Value& v) { return v.reader(); }                                              \
    };

PLATFORM_VALUE_CONVERSION(bool, toBool)
PLATFORM_VALUE_CONVERSION(double, toDouble)
PLATFORM_VALUE_CONVERSION(QString, toString)
PLATFORM_VALUE_CONVERSION(QByteArray, toData)
PLATFORM_VALUE_CONVERSION(QDateTime, toDate)
PLATFORM_VALUE_CONVERSION(QUrl, toURL)
PLATFORM_VALUE_CONVERSION(QUuid, toUUID)
PLATFORM_VALUE_CONVERSION(QStringList, toStringList)
PLATFORM_VALUE_CONVERSION(Value::Array, toArray)
PLATFORM_VALUE_CONVERSION(Value::Dictionary, toDictionary)

#undef PLATFORM_VALUE_CONVERSION

template <typename T>
struct ValueConversion<std::shared_ptr<T>, std::enable_if_t<std::is_base_of_v<Object, T>>> {
    static Value to(const std::shared_ptr<T>& v) { return Value(std::static_pointer_cast<Object>(v)); }
    static std::shared_ptr<T> from(const Value& v) { return v.toObject<T>(); }
};

// Absent converts to null and null to absent.
template <typename T> struct ValueConversion<std::optional<T>> {
    static Value to(const std::optional<T>& v) { return v ? ValueConversion<T>::to(*v) : Value(); }
    static std::optional<T> from(const Value& v) {
        if (v.isNull()) {
            return std::nullopt;
        }
        return ValueConversion<T>::from(v);
    }
};

template <> struct ValueConversion<std::optional<Error>> {
    static Value to(const std::optional<Error>& v) { return v ? Value(*v) : Value(); }
    static std::optional<Error> from(const Value& v) {
        const Error* error = v.toError();
        return error ? std::optional<Error>(*error) : std::nullopt;
    }
};

// Registers a property of class C for key-value coding, from its getter and
// (optionally) its setter; the property's type is the getter's.
template <typename C, typename R, typename P>
void addProperty(Class& aClass, const QString& key, R (C::*getter)() const, void (C::*setter)(P)) {
    using T = std::decay_t<R>;
    Class::Accessor accessor;
    accessor.get = [getter](const Object& object) {
        return ValueConversion<T>::to((static_cast<const C&>(object).*getter)());
    };
    if (setter) {
        accessor.set = [setter](Object& object, const Value& value) {
            (static_cast<C&>(object).*setter)(ValueConversion<T>::from(value));
        };
    }
    aClass.addAccessor(key, std::move(accessor));
}

template <typename C, typename R>
void addProperty(Class& aClass, const QString& key, R (C::*getter)() const) {
    addProperty<C, R, R>(aClass, key, getter, nullptr);
}

} // namespace platform
