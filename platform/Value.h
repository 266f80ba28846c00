#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <cstdint>
#include <memory>
#include <type_traits>
#include <variant>

namespace platform {

class Error;
class Object;

// A property-list-like value: what the system's records, user info,
// preferences and messages are made of. Cheap to copy: containers and
// strings share their data. Dates are kept in UTC with millisecond precision.
//
// Equality follows the platform's rules: numbers (booleans included) compare
// by numeric value, sets ignore order, objects compare with `Object::isEqual`.
// Equal values have equal hashes (see Hash.h for the fixed functions).
class Value {
public:
    enum class Kind {
        Null,
        Bool,
        Integer,
        Unsigned,
        Double,
        String,
        Data,
        Date,
        URL,
        UUID,
        Array,
        Set,
        Dictionary,
        Object,
        Error,
    };
    using Array = QList<Value>;
    using Dictionary = QMap<QString, Value>;

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool value) : kind_(Kind::Bool), storage_(value) {}
    template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
    Value(T value) {
        if constexpr (std::is_signed_v<T>) {
            kind_ = Kind::Integer;
            storage_ = static_cast<std::int64_t>(value);
        } else {
            kind_ = Kind::Unsigned;
            storage_ = static_cast<std::uint64_t>(value);
        }
    }
    Value(double value) : kind_(Kind::Double), storage_(value) {}
    Value(const QString& value) : kind_(Kind::String), storage_(value) {}
    Value(const char* value) : Value(QString::fromUtf8(value)) {}
    Value(const QByteArray& value) : kind_(Kind::Data), storage_(value) {}
    Value(const QDateTime& value);
    Value(const QUrl& value) : kind_(Kind::URL), storage_(value) {}
    Value(const QUuid& value) : kind_(Kind::UUID), storage_(value) {}
    Value(const Array& value);
    Value(const QStringList& value);
    Value(const Dictionary& value);
    Value(std::shared_ptr<Object> value);
    template <typename T,
              std::enable_if_t<std::is_base_of_v<Object, T> && !std::is_same_v<T, Object>, int> = 0>
    Value(std::shared_ptr<T> value) : Value(std::static_pointer_cast<Object>(std::move(value))) {}
    Value(const Error& value);

    // A set of the distinct elements (by equality) of the array, in first-seen order.
    static Value set(const Array& elements);

    Kind kind() const { return kind_; }
    bool isNull() const { return kind_ == Kind::Null; }
    bool isNumber() const;

    // Conversions answer a neutral value (false, 0, empty) for other kinds;
    // numbers convert between one another.
    bool toBool() const;
    std::int64_t toInteger() const;
    std::uint64_t toUnsigned() const;
    double toDouble() const;
    QString toString() const;
    QByteArray toData() const;
    QDateTime toDate() const;
    QUrl toURL() const;
    QUuid toUUID() const;
    // The elements of an array or a set.
    const Array& toArray() const;
    QStringList toStringList() const;
    const Dictionary& toDictionary() const;
    std::shared_ptr<Object> toObject() const;
    template <typename T> std::shared_ptr<T> toObject() const {
        return std::dynamic_pointer_cast<T>(toObject());
    }
    const Error* toError() const;

    // For dictionaries: the value under the key, or null.
    Value operator[](const QString& key) const;
    bool contains(const QString& key) const;

    bool operator==(const Value& other) const;
    bool operator!=(const Value& other) const { return !(*this == other); }
    std::uint64_t hash() const;
    QString description() const;
    // Objects are copied with `Object::copy`, containers element by element.
    Value copy() const;

private:
    using Storage =
        std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double, QString, QByteArray,
                     QDateTime, QUrl, QUuid, std::shared_ptr<const Array>, std::shared_ptr<const Dictionary>,
                     std::shared_ptr<Object>, std::shared_ptr<const Error>>;

    QString descriptionIndented(int depth) const;

    Kind kind_ = Kind::Null;
    Storage storage_;
};

} // namespace platform

template <> struct std::hash<platform::Value> {
    std::size_t operator()(const platform::Value& value) const noexcept { return value.hash(); }
};
