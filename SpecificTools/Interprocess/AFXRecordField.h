#pragma once

#include "SpecificTools/Model/AFXBaseModelObject.h"
#include "SpecificTools/Model/AFXModelProperties.h"
#include "platform/Class.h"
#include "platform/Value.h"
#include "platform/ValueConversion.h"
#include "platform/ValueTransformer.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <memory>

// One coded field of a record class: its key (the field's getter name), the
// classes allowed when decoding it, its default and transformer, and the
// key-value coding accessor over the record's data member. A record class
// lists its fields once (AFX_DEFINE_RECORD) and both its class registration
// and its reflection are made from that list.
//
// An absent string, URL, date or UUID reads as null, so it is not archived
// and decodes back as absent rather than empty.
class AFXRecordField {
public:
    using Classes = BRClassReflection::Classes;

    template <typename C, typename T>
    static AFXRecordField make(const QString& key, T C::*member, Classes objectClasses,
                               platform::Value defaultValue = {},
                               std::shared_ptr<const platform::ValueTransformer> valueTransformer = nullptr) {
        return makeWithEncoding(key, member, std::move(objectClasses), std::move(defaultValue),
                                std::move(valueTransformer),
                                [](const T& value) { return Conversion<T>::to(value); });
    }
    // A list field that travels as a set (the record keeps it in some order,
    // which carries no meaning).
    template <typename C, typename E>
    static AFXRecordField makeSet(const QString& key, QList<E> C::*member, Classes objectClasses) {
        return makeWithEncoding(key, member, std::move(objectClasses), {}, nullptr,
                                [](const QList<E>& value) {
                                    return platform::Value::set(Conversion<QList<E>>::elements(value));
                                });
    }

    static void addAccessors(platform::Class& aClass, const QList<AFXRecordField>& fields);
    static void addToReflection(BRClassReflection& reflection, const QList<AFXRecordField>& fields);

private:
    AFXRecordField() = default;

    // A field's value as key-value coding sees it; lists travel element by
    // element, and an element of a class the list cannot hold is dropped.
    template <typename T> struct Conversion {
        static platform::Value to(const T& value) { return platform::ValueConversion<T>::to(value); }
        static T from(const platform::Value& value) { return platform::ValueConversion<T>::from(value); }
    };
    template <typename E> struct Conversion<QList<E>> {
        static platform::Value::Array elements(const QList<E>& list) {
            platform::Value::Array elements;
            elements.reserve(list.size());
            for (const E& element : list) {
                elements.append(Conversion<E>::to(element));
            }
            return elements;
        }
        static platform::Value to(const QList<E>& list) { return platform::Value(elements(list)); }
        static QList<E> from(const platform::Value& value) {
            QList<E> list;
            for (const platform::Value& element : value.toArray()) {
                E converted = Conversion<E>::from(element);
                if constexpr (AFXIsSharedPointer<E>::value) {
                    if (!converted) {
                        continue;
                    }
                }
                list.append(std::move(converted));
            }
            return list;
        }
    };

    template <typename C, typename T, typename Encode>
    static AFXRecordField
    makeWithEncoding(const QString& key, T C::*member, Classes objectClasses, platform::Value defaultValue,
                     std::shared_ptr<const platform::ValueTransformer> valueTransformer, Encode encode) {
        AFXRecordField field;
        field.key_ = key;
        field.objectClasses_ = std::move(objectClasses);
        field.defaultValue_ = std::move(defaultValue);
        field.valueTransformer_ = std::move(valueTransformer);
        field.accessor_.get = [member, encode](const platform::Object& object) {
            const T& value = static_cast<const C&>(object).*member;
            if (isAbsent(value)) {
                return platform::Value();
            }
            return encode(value);
        };
        field.accessor_.set = [member](platform::Object& object, const platform::Value& value) {
            static_cast<C&>(object).*member = value.isNull() ? T() : Conversion<T>::from(value);
        };
        return field;
    }

    template <typename T> static bool isAbsent(const T& value) {
        if constexpr (std::is_same_v<T, QString> || std::is_same_v<T, QUuid>) {
            return value.isNull();
        } else if constexpr (std::is_same_v<T, QUrl>) {
            return value.isEmpty();
        } else if constexpr (std::is_same_v<T, QDateTime>) {
            return !value.isValid();
        } else {
            return false;
        }
    }

    QString key_;
    Classes objectClasses_;
    platform::Value defaultValue_;
    std::shared_ptr<const platform::ValueTransformer> valueTransformer_;
    platform::Class::Accessor accessor_;
};

// Declaring a record class.
//
// In the class body (after the base-class list):
//     AFX_DECLARE_RECORD(AFXFetchCurrentEnvironmentRequest)
//     AFX_RECORD_FIELD(bool, isUpdated, setIsUpdated)
// (which also gives the class `make()`), and once in a source file, with every field's allowed classes (and
// optionally its default value and value transformer):
//     AFX_DEFINE_RECORD(AFXFetchCurrentEnvironmentRequest, AFXSystemManagementRequest,
//                       AFX_FIELD(isUpdated, {platform::ValueClasses::number()}))
// The record is coded under its getter names, in its superclass's fields
// first; members that are not listed are not sent. A record class whose
// instances cannot be made (an abstract base) uses AFX_DEFINE_ABSTRACT_RECORD.

#define AFX_DECLARE_RECORD(ClassName)                                                                        \
    AFX_DECLARE_MODEL_CLASS(ClassName)                                                                       \
public:                                                                                                      \
    static std::shared_ptr<BRClassReflection> makeReflection();                                              \
    /* A new, empty record; null for an abstract class. */                                                   \
    static std::shared_ptr<ClassName> make() {                                                               \
        return std::static_pointer_cast<ClassName>(staticClass()->make());                                   \
    }                                                                                                        \
                                                                                                             \
private:                                                                                                     \
    static QList<AFXRecordField> recordFields();

#define AFX_RECORD_FIELD(Type, name, setterName)                                                             \
public:                                                                                                      \
    Type name() const {                                                                                      \
        return name##_;                                                                                      \
    }                                                                                                        \
    void setterName(Type value) {                                                                            \
        name##_ = std::move(value);                                                                          \
    }                                                                                                        \
                                                                                                             \
private:                                                                                                     \
    Type name##_{};

// A field that only decoding and the record's own code write (immutable records).
#define AFX_RECORD_READONLY_FIELD(Type, name)                                                                \
public:                                                                                                      \
    Type name() const {                                                                                      \
        return name##_;                                                                                      \
    }                                                                                                        \
                                                                                                             \
private:                                                                                                     \
    Type name##_{};

// One entry of AFX_DEFINE_RECORD's field list. A QList field travels as an
// array; AFX_SET_FIELD makes it travel as a set.
#define AFX_FIELD(name, ...) AFXRecordField::make(QStringLiteral(#name), &Self::name##_, __VA_ARGS__)
#define AFX_SET_FIELD(name, ...) AFXRecordField::makeSet(QStringLiteral(#name), &Self::name##_, __VA_ARGS__)

#define AFX_DEFINE_RECORD_WITH_FACTORY(ClassName, SuperName, factory, ...)                                   \
    QList<AFXRecordField> ClassName::recordFields() {                                                        \
        using Self [[maybe_unused]] = ClassName;                                                             \
        return {__VA_ARGS__};                                                                                \
    }                                                                                                        \
    PLATFORM_DEFINE_CLASS_WITH_SETUP(ClassName, SuperName, factory, [](::platform::Class& aClass) {          \
        AFXRecordField::addAccessors(aClass, ClassName::recordFields());                                     \
    })                                                                                                       \
    std::shared_ptr<BRClassReflection> ClassName::makeReflection() {                                         \
        auto reflection = BRReflection<SuperName>()->copy();                                                 \
        AFXRecordField::addToReflection(*reflection, recordFields());                                        \
        return reflection;                                                                                   \
    }

#define AFX_DEFINE_RECORD(ClassName, SuperName, ...)                                                         \
    AFX_DEFINE_RECORD_WITH_FACTORY(                                                                          \
        ClassName, SuperName, [] { return std::shared_ptr<ClassName>(new ClassName); }, __VA_ARGS__)

#define AFX_DEFINE_ABSTRACT_RECORD(ClassName, SuperName, ...)                                                \
    AFX_DEFINE_RECORD_WITH_FACTORY(ClassName, SuperName, nullptr, __VA_ARGS__)
