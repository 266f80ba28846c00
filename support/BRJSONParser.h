#pragma once

#include "platform/Error.h"
#include "platform/Value.h"

#include <QDateTime>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <optional>
#include <utility>

inline const QString BRJSONParserErrorDomain = QStringLiteral("com.brindle.BRJSONParserErrorDomain");

enum : std::int64_t {
    BRJSONParserMissingValueError = -1000,
    BRJSONParserIncorrectTypeError = -1001,
};

// The kinds of value a decoded JSON document holds. Numbers include booleans,
// which decode to numbers on the platform.
enum class BRJSONType { Number, String, Dictionary, Array };

// Reads typed values out of a decoded JSON dictionary, by key or by dotted
// key path ("data.attributes.name"). The first failed read is kept as the
// last error and every read after it answers none, so that a caller can
// read a whole record and look at one error at the end. Optional reads
// answer none for an absent or wrongly typed value without recording it.
//
// A JSON null is a value that is present and of no type a read asks for: it
// records the incorrect-type error, not the missing-value one.
class BRJSONParser {
public:
    // None when the JSON value is not a dictionary.
    static std::optional<BRJSONParser> makeWithJSON(const platform::Value& json);

    const platform::Value::Dictionary& jsonDict() const { return jsonDict_; }
    const std::optional<platform::Error>& lastError() const { return lastError_; }

    std::optional<platform::Value> numberForKey(const QString& key);
    std::optional<QString> stringForKey(const QString& key);
    std::optional<platform::Value::Dictionary> dictionaryForKey(const QString& key);
    std::optional<platform::Value::Array> arrayForKey(const QString& key);
    // The number's value, 0 without a number.
    double doubleForKey(const QString& key);
    std::int64_t integerForKey(const QString& key);
    std::uint64_t unsignedIntegerForKey(const QString& key);
    // None without a string, or when the string is not a URL (that records nothing).
    std::optional<QUrl> URLForKey(const QString& key);
    // The number as seconds since 1970-01-01 UTC, to the millisecond.
    std::optional<QDateTime> unixtimeBasedDateForKey(const QString& key);

    std::optional<platform::Value> numberForKeyPath(const QString& keyPath);
    std::optional<QString> stringForKeyPath(const QString& keyPath);
    std::optional<QUrl> URLForKeyPath(const QString& keyPath);
    std::optional<QDateTime> unixtimeBasedDateForKeyPath(const QString& keyPath);
    // Every component but the last must lead to a dictionary; a failure is
    // recorded for the component at which reading stopped.
    std::optional<platform::Value> objectForKeyPath(const QString& keyPath, BRJSONType type);
    std::optional<platform::Value> objectForKeyPath(const QString& keyPath, BRJSONType type, bool isOptional);

    // `value` is none when the key is absent.
    std::optional<platform::Value> validatedValue(const std::optional<platform::Value>& value,
                                                  const QString& key, BRJSONType type);
    std::optional<platform::Value> validatedValue(const std::optional<platform::Value>& value,
                                                  const QString& key, BRJSONType type, bool isOptional);

    // The value at the key path when it is of the type, else none; records nothing.
    static std::optional<platform::Value> validatedObjectFromJSON(const platform::Value& json,
                                                                  const QString& keyPath, BRJSONType type);

private:
    explicit BRJSONParser(platform::Value::Dictionary jsonDict) : jsonDict_(std::move(jsonDict)) {}

    platform::Value::Dictionary jsonDict_;
    std::optional<platform::Error> lastError_;
};
