#pragma once

#include "platform/Class.h"
#include "platform/Object.h"
#include "platform/Value.h"
#include "platform/ValueConversion.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <memory>
#include <type_traits>

// Key-value coding accessors for record fields that plain conversions would
// get wrong on the wire: an absent string, URL or date must stay absent
// (a null value is not archived) instead of travelling as an empty one, and
// a set must travel as a set whatever order the record keeps it in.

inline bool AFXIsAbsentValue(const QString& value) {
    return value.isNull();
}
inline bool AFXIsAbsentValue(const QUrl& value) {
    return value.isEmpty();
}
inline bool AFXIsAbsentValue(const QDateTime& value) {
    return !value.isValid();
}

// The field as a value: null when absent, so descriptions print "(null)".
template <typename T> platform::Value AFXValueOrNull(const T& value) {
    return AFXIsAbsentValue(value) ? platform::Value() : platform::Value(value);
}

template <typename C, typename T>
void AFXAddOptionalProperty(platform::Class& aClass, const QString& key, T (C::*getter)() const,
                            void (C::*setter)(const T&)) {
    platform::Class::Accessor accessor;
    accessor.get = [getter](const platform::Object& object) {
        return AFXValueOrNull((static_cast<const C&>(object).*getter)());
    };
    accessor.set = [setter](platform::Object& object, const platform::Value& value) {
        (static_cast<C&>(object).*setter)(value.isNull() ? T() : platform::ValueConversion<T>::from(value));
    };
    aClass.addAccessor(key, std::move(accessor));
}

template <typename T> struct AFXIsSharedPointer : std::false_type {};
template <typename T> struct AFXIsSharedPointer<std::shared_ptr<T>> : std::true_type {};

// Elements the record cannot hold (an object of another class) are dropped.
template <typename C, typename E>
void AFXAddSetProperty(platform::Class& aClass, const QString& key, QList<E> (C::*getter)() const,
                       void (C::*setter)(const QList<E>&)) {
    platform::Class::Accessor accessor;
    accessor.get = [getter](const platform::Object& object) {
        const QList<E> held = (static_cast<const C&>(object).*getter)();
        platform::Value::Array elements;
        elements.reserve(held.size());
        for (const E& element : held) {
            elements.append(platform::ValueConversion<E>::to(element));
        }
        return platform::Value::set(elements);
    };
    accessor.set = [setter](platform::Object& object, const platform::Value& value) {
        QList<E> elements;
        for (const platform::Value& element : value.toArray()) {
            E converted = platform::ValueConversion<E>::from(element);
            if constexpr (AFXIsSharedPointer<E>::value) {
                if (!converted) {
                    continue;
                }
            }
            elements.append(std::move(converted));
        }
        (static_cast<C&>(object).*setter)(elements);
    };
    aClass.addAccessor(key, std::move(accessor));
}
