#include "JSONSerialization.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <cmath>
#include <limits>

namespace platform {

namespace {

constexpr std::int64_t kReadCorruptError = 3840;
constexpr std::int64_t kWriteInvalidError = 3851;

Value fromCbor(const QCborValue& value) {
    switch (value.type()) {
    // Qt's parser already answers integral numbers within the 64-bit range as integers, exactly.
    case QCborValue::Integer:
        return Value(static_cast<std::int64_t>(value.toInteger()));
    case QCborValue::Double:
        return Value(value.toDouble());
    case QCborValue::String:
        return Value(value.toString());
    case QCborValue::True:
        return Value(true);
    case QCborValue::False:
        return Value(false);
    case QCborValue::Array: {
        const QCborArray array = value.toArray();
        Value::Array elements;
        elements.reserve(array.size());
        for (const QCborValue& element : array) {
            elements.append(fromCbor(element));
        }
        return Value(elements);
    }
    case QCborValue::Map: {
        const QCborMap map = value.toMap();
        Value::Dictionary entries;
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            entries.insert(it.key().toString(), fromCbor(it.value()));
        }
        return Value(entries);
    }
    default:
        return Value();
    }
}

bool startsWithContainer(const QByteArray& data) {
    for (const char c : data) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
            return c == '{' || c == '[';
        }
    }
    // Nothing but white space: Qt's own parse names the fault.
    return true;
}

std::optional<QCborValue> parseDocument(const QByteArray& text, QJsonParseError* failure) {
    const QJsonDocument document = QJsonDocument::fromJson(text, failure);
    if (failure->error != QJsonParseError::NoError) {
        return std::nullopt;
    }
    // Through CBOR, because QJsonValue would answer large integers as doubles.
    if (document.isArray()) {
        return QCborValue(QCborArray::fromJsonArray(document.array()));
    }
    return QCborValue(QCborMap::fromJsonObject(document.object()));
}

// Where the garbage after one well-formed value begins in text that, put
// between brackets, reads as an array: at the first comma or closing bracket
// outside a string.
qsizetype endOfFirstValue(const QByteArray& text) {
    bool inString = false;
    bool escaped = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (escaped) {
            escaped = false;
        } else if (inString) {
            escaped = c == '\\';
            inString = c != '"';
        } else if (c == '"') {
            inString = true;
        } else if (c == ',' || c == ']') {
            return i;
        }
    }
    return text.size();
}

// Qt reads only objects and arrays at the top level; any other value is
// read as the one element of an array around it.
std::optional<QCborValue> parse(const QByteArray& data, QJsonParseError* failure) {
    if (startsWithContainer(data)) {
        return parseDocument(data, failure);
    }
    const auto wrapped = parseDocument('[' + data + ']', failure);
    if (wrapped && wrapped->toArray().size() == 1) {
        return wrapped->toArray().at(0);
    }
    // Several values, or a bracket in the data closing the array early.
    if (wrapped || failure->error == QJsonParseError::GarbageAtEnd) {
        failure->error = QJsonParseError::GarbageAtEnd;
        failure->offset = static_cast<int>(endOfFirstValue(data));
    } else {
        failure->offset = qBound(0, failure->offset - 1, static_cast<int>(data.size()));
    }
    return std::nullopt;
}

std::optional<QJsonValue> toJson(const Value& value, QString* problem) {
    switch (value.kind()) {
    case Value::Kind::Null:
        return QJsonValue(QJsonValue::Null);
    case Value::Kind::Bool:
        return QJsonValue(value.toBool());
    case Value::Kind::Integer:
        return QJsonValue(static_cast<qint64>(value.toInteger()));
    case Value::Kind::Unsigned: {
        const std::uint64_t number = value.toUnsigned();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<qint64>::max())) {
            return QJsonValue(static_cast<double>(number));
        }
        return QJsonValue(static_cast<qint64>(number));
    }
    case Value::Kind::Double:
        if (!std::isfinite(value.toDouble())) {
            *problem = QStringLiteral("Invalid number value (%1) in JSON write").arg(value.description());
            return std::nullopt;
        }
        return QJsonValue(value.toDouble());
    case Value::Kind::String:
        return QJsonValue(value.toString());
    case Value::Kind::Data:
        return QJsonValue(QString::fromLatin1(value.toData().toBase64()));
    case Value::Kind::Date: {
        const QDateTime date = value.toDate().toUTC();
        return QJsonValue(date.toString(date.time().msec() == 0 ? Qt::ISODate : Qt::ISODateWithMs));
    }
    case Value::Kind::URL:
        return QJsonValue(value.toURL().toString(QUrl::FullyEncoded));
    case Value::Kind::UUID:
        return QJsonValue(value.toUUID().toString(QUuid::WithoutBraces).toUpper());
    case Value::Kind::Array:
    case Value::Kind::Set: {
        QJsonArray array;
        for (const Value& element : value.toArray()) {
            const auto item = toJson(element, problem);
            if (!item) {
                return std::nullopt;
            }
            array.append(*item);
        }
        return QJsonValue(array);
    }
    case Value::Kind::Dictionary: {
        QJsonObject object;
        const auto& entries = value.toDictionary();
        for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
            const auto item = toJson(it.value(), problem);
            if (!item) {
                return std::nullopt;
            }
            object.insert(it.key(), *item);
        }
        return QJsonValue(object);
    }
    case Value::Kind::Object:
    case Value::Kind::Error:
        *problem = QStringLiteral("Invalid type in JSON write (%1)").arg(value.description());
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::optional<Value> JSONSerialization::read(const QByteArray& data, Error* error) {
    QJsonParseError failure;
    const auto parsed = parse(data, &failure);
    if (!parsed) {
        if (error) {
            *error = Error(
                NSCocoaErrorDomain, kReadCorruptError,
                {{NSLocalizedDescriptionKey,
                  QStringLiteral(
                      "The data couldn’t be read because it isn’t in the correct format: %1 at offset %2.")
                      .arg(failure.errorString())
                      .arg(failure.offset)},
                 {NSJSONSerializationErrorIndex, failure.offset}});
        }
        return std::nullopt;
    }
    return fromCbor(*parsed);
}

std::optional<QByteArray> JSONSerialization::write(const Value& value, Error* error) {
    QString problem;
    const auto json = toJson(value, &problem);
    if (!json) {
        if (error) {
            *error = Error(NSCocoaErrorDomain, kWriteInvalidError, {{NSLocalizedDescriptionKey, problem}});
        }
        return std::nullopt;
    }
    if (json->isObject()) {
        return QJsonDocument(json->toObject()).toJson(QJsonDocument::Compact);
    }
    // Qt writes only objects and arrays at the top level; the compact form of
    // an array of one holds the value between its brackets.
    const QByteArray array =
        QJsonDocument(json->isArray() ? json->toArray() : QJsonArray{*json}).toJson(QJsonDocument::Compact);
    return json->isArray() ? array : array.mid(1, array.size() - 2);
}

} // namespace platform
