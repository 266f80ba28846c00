#include "BRJSONParser.h"

#include "platform/Bundle.h"
#include "platform/StringFormat.h"

#include <QStringList>

#include <cmath>

using platform::Value;

namespace {

bool isOfType(const Value& value, BRJSONType type) {
    switch (type) {
    case BRJSONType::Number:
        return value.isNumber();
    case BRJSONType::String:
        return value.kind() == Value::Kind::String;
    case BRJSONType::Dictionary:
        return value.kind() == Value::Kind::Dictionary;
    case BRJSONType::Array:
        return value.kind() == Value::Kind::Array;
    }
    return false;
}

// Unlike Value's subscript, keeps an absent key apart from a JSON null.
std::optional<Value> entry(const Value::Dictionary& dictionary, const QString& key) {
    const auto it = dictionary.constFind(key);
    if (it == dictionary.cend()) {
        return std::nullopt;
    }
    return *it;
}

platform::Error parserError(std::int64_t code, const char* format, const QString& key) {
    const QString localizedFormat = platform::Bundle::mainBundle()->localizedStringForKey(
        QString::fromUtf8(format), QString(), QString());
    return platform::Error(
        BRJSONParserErrorDomain, code,
        {{platform::NSLocalizedDescriptionKey, platform::stringWithFormat(localizedFormat, key)}});
}

std::optional<QUrl> urlFromString(const std::optional<Value>& string) {
    if (!string) {
        return std::nullopt;
    }
    const QUrl url(string->toString(), QUrl::StrictMode);
    return url.isValid() ? std::optional<QUrl>(url) : std::nullopt;
}

std::optional<QDateTime> dateFromUnixTime(const std::optional<Value>& number) {
    if (!number) {
        return std::nullopt;
    }
    const double msecs = number->toDouble() * 1000.0;
    // Past what a date's milliseconds hold there is no date to give.
    if (!(std::abs(msecs) < 9.0e18)) {
        return std::nullopt;
    }
    return QDateTime::fromMSecsSinceEpoch(std::llround(msecs), Qt::UTC);
}

} // namespace

std::optional<BRJSONParser> BRJSONParser::makeWithJSON(const Value& json) {
    if (json.kind() != Value::Kind::Dictionary) {
        return std::nullopt;
    }
    return BRJSONParser(json.toDictionary());
}

std::optional<Value> BRJSONParser::numberForKey(const QString& key) {
    return validatedValue(entry(jsonDict_, key), key, BRJSONType::Number);
}

std::optional<QString> BRJSONParser::stringForKey(const QString& key) {
    const auto string = validatedValue(entry(jsonDict_, key), key, BRJSONType::String);
    return string ? std::optional<QString>(string->toString()) : std::nullopt;
}

std::optional<Value::Dictionary> BRJSONParser::dictionaryForKey(const QString& key) {
    const auto dictionary = validatedValue(entry(jsonDict_, key), key, BRJSONType::Dictionary);
    return dictionary ? std::optional<Value::Dictionary>(dictionary->toDictionary()) : std::nullopt;
}

std::optional<Value::Array> BRJSONParser::arrayForKey(const QString& key) {
    const auto array = validatedValue(entry(jsonDict_, key), key, BRJSONType::Array);
    return array ? std::optional<Value::Array>(array->toArray()) : std::nullopt;
}

double BRJSONParser::doubleForKey(const QString& key) {
    return numberForKey(key).value_or(Value(0)).toDouble();
}

std::int64_t BRJSONParser::integerForKey(const QString& key) {
    return numberForKey(key).value_or(Value(0)).toInteger();
}

std::uint64_t BRJSONParser::unsignedIntegerForKey(const QString& key) {
    return numberForKey(key).value_or(Value(0)).toUnsigned();
}

std::optional<QUrl> BRJSONParser::URLForKey(const QString& key) {
    return urlFromString(validatedValue(entry(jsonDict_, key), key, BRJSONType::String));
}

std::optional<QDateTime> BRJSONParser::unixtimeBasedDateForKey(const QString& key) {
    return dateFromUnixTime(numberForKey(key));
}

std::optional<Value> BRJSONParser::numberForKeyPath(const QString& keyPath) {
    return objectForKeyPath(keyPath, BRJSONType::Number);
}

std::optional<QString> BRJSONParser::stringForKeyPath(const QString& keyPath) {
    const auto string = objectForKeyPath(keyPath, BRJSONType::String);
    return string ? std::optional<QString>(string->toString()) : std::nullopt;
}

std::optional<QUrl> BRJSONParser::URLForKeyPath(const QString& keyPath) {
    return urlFromString(objectForKeyPath(keyPath, BRJSONType::String));
}

std::optional<QDateTime> BRJSONParser::unixtimeBasedDateForKeyPath(const QString& keyPath) {
    return dateFromUnixTime(numberForKeyPath(keyPath));
}

std::optional<Value> BRJSONParser::objectForKeyPath(const QString& keyPath, BRJSONType type) {
    return objectForKeyPath(keyPath, type, false);
}

std::optional<Value> BRJSONParser::objectForKeyPath(const QString& keyPath, BRJSONType type,
                                                    bool isOptional) {
    QStringList leadingKeys = keyPath.split(QLatin1Char('.'));
    const QString finalKey = leadingKeys.takeLast();
    std::optional<Value> current = Value(jsonDict_);
    for (const QString& key : leadingKeys) {
        current =
            validatedValue(entry(current->toDictionary(), key), key, BRJSONType::Dictionary, isOptional);
        if (!current) {
            break;
        }
    }
    // After a stop on the way the final read finds nothing; the error, if
    // any, names the component at which the walk stopped.
    return validatedValue(current ? entry(current->toDictionary(), finalKey) : std::nullopt, finalKey, type,
                          isOptional);
}

std::optional<Value> BRJSONParser::validatedValue(const std::optional<Value>& value, const QString& key,
                                                  BRJSONType type) {
    if (lastError_) {
        return std::nullopt;
    }
    if (!value) {
        lastError_ = parserError(BRJSONParserMissingValueError, "Missing value for key %@", key);
        return std::nullopt;
    }
    if (!isOfType(*value, type)) {
        lastError_ = parserError(BRJSONParserIncorrectTypeError, "Incorrect type of value for key %@", key);
        return std::nullopt;
    }
    return value;
}

std::optional<Value> BRJSONParser::validatedValue(const std::optional<Value>& value, const QString& key,
                                                  BRJSONType type, bool isOptional) {
    if (!isOptional) {
        return validatedValue(value, key, type);
    }
    return value && isOfType(*value, type) ? value : std::nullopt;
}

std::optional<Value> BRJSONParser::validatedObjectFromJSON(const Value& json, const QString& keyPath,
                                                           BRJSONType type) {
    std::optional<Value> current = json;
    for (const QString& key : keyPath.split(QLatin1Char('.'))) {
        if (current->kind() != Value::Kind::Dictionary) {
            return std::nullopt;
        }
        current = entry(current->toDictionary(), key);
        if (!current) {
            return std::nullopt;
        }
    }
    return isOfType(*current, type) ? current : std::nullopt;
}
