#include "KeyedUnarchiver.h"

#include "KeyedArchiveFormat.h"
#include "Object.h"
#include "ValueClasses.h"

#include <QCborArray>
#include <QCborStreamReader>
#include <QStringList>
#include <QtEndian>

namespace platform {

namespace {

QString describe(const KeyedUnarchiver::Classes& classes) {
    QStringList names;
    for (const Class* c : classes) {
        names << (c ? c->name() : QStringLiteral("(null)"));
    }
    return names.join(QStringLiteral(", "));
}

} // namespace

std::optional<Value> KeyedUnarchiver::unarchivedObjectOfClasses(const Classes& classes,
                                                                const QByteArray& data, Error* error) {
    KeyedUnarchiver unarchiver;
    QCborStreamReader reader(data);
    const QCborValue root = QCborValue::fromCbor(reader);
    if (const QCborError parseError = reader.lastError(); parseError != QCborError::NoError) {
        unarchiver.fail(QStringLiteral("The archive is damaged: %1 at byte %2")
                            .arg(parseError.toString())
                            .arg(reader.currentOffset()));
    } else if (reader.currentOffset() != data.size()) {
        // An archive is one value; bytes after it mean it was damaged or joined to something else.
        unarchiver.fail(QStringLiteral("The archive has %1 bytes after its value at byte %2")
                            .arg(data.size() - reader.currentOffset())
                            .arg(reader.currentOffset()));
    } else {
        Value value = unarchiver.decodeValue(root, classes, QStringLiteral("root"), 0);
        if (!unarchiver.error_) {
            return value;
        }
    }
    if (error) {
        *error = *unarchiver.error_;
    }
    return std::nullopt;
}

void KeyedUnarchiver::failWithError(const Error& error) {
    if (!error_) {
        error_ = error;
    }
}

Value KeyedUnarchiver::fail(const QString& description) {
    failWithError(KeyedArchiveFormat::codingError(description, KeyedArchiveFormat::CoderReadCorruptError));
    return {};
}

bool KeyedUnarchiver::containsValueForKey(const QString& key) const {
    return current_ && current_->contains(KeyedArchiveFormat::escapedKey(key));
}

Value KeyedUnarchiver::decodeObjectOfClasses(const Classes& classes, const QString& key) {
    if (!current_ || error_) {
        return {};
    }
    const QCborValue encoded = current_->value(KeyedArchiveFormat::escapedKey(key));
    if (encoded.isUndefined()) {
        return {};
    }
    return decodeValue(encoded, classes, key, depth_ + 1);
}

bool KeyedUnarchiver::decodeBool(const QString& key) {
    return decodeObjectOfClass(ValueClasses::number(), key).toBool();
}

std::int64_t KeyedUnarchiver::decodeInteger(const QString& key) {
    return decodeObjectOfClass(ValueClasses::number(), key).toInteger();
}

double KeyedUnarchiver::decodeDouble(const QString& key) {
    return decodeObjectOfClass(ValueClasses::number(), key).toDouble();
}

bool KeyedUnarchiver::isAllowed(const Class* aClass, const Classes& allowed, const QString& key) {
    if (KeyedArchiveFormat::isAmong(aClass, allowed)) {
        return true;
    }
    fail(QStringLiteral(
             "The value for key \"%1\" is of class \"%2\", which is not among the allowed classes (%3)")
             .arg(key, aClass->name(), describe(allowed)));
    return false;
}

Value KeyedUnarchiver::decodeValue(const QCborValue& encoded, const Classes& allowed, const QString& key,
                                   int depth) {
    using namespace KeyedArchiveFormat;
    if (error_) {
        return {};
    }
    if (depth > MaximumDepth) {
        return fail(QStringLiteral("The archive nests deeper than %1 levels").arg(MaximumDepth));
    }
    Value value;
    switch (encoded.type()) {
    case QCborValue::Null:
        value = Value();
        break;
    case QCborValue::False:
    case QCborValue::True:
        value = Value(encoded.toBool());
        break;
    case QCborValue::Integer:
        value = Value(static_cast<std::int64_t>(encoded.toInteger()));
        break;
    case QCborValue::Double:
        value = Value(encoded.toDouble());
        break;
    case QCborValue::String:
        value = Value(encoded.toString());
        break;
    case QCborValue::ByteArray:
        value = Value(encoded.toByteArray());
        break;
    case QCborValue::Array: {
        Value::Array elements;
        const QCborArray array = encoded.toArray();
        elements.reserve(array.size());
        for (const QCborValue& element : array) {
            elements.append(decodeValue(element, allowed, key, depth + 1));
        }
        value = Value(elements);
        break;
    }
    case QCborValue::Map: {
        const QCborMap map = encoded.toMap();
        if (map.contains(ClassKey)) {
            return decodeObjectMap(map, allowed, key, depth);
        }
        Value::Dictionary entries;
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            if (!it.key().isString()) {
                return fail(
                    QStringLiteral("A dictionary for key \"%1\" has a key that is not text").arg(key));
            }
            entries.insert(unescapedKey(it.key().toString()),
                           decodeValue(it.value(), allowed, key, depth + 1));
        }
        value = Value(entries);
        break;
    }
    case QCborValue::DateTime: {
        // The reader turns date tags into dates itself, keeping their text
        // in the form archives write.
        const std::optional<QDateTime> written = dateFromText(encoded.taggedValue().toString());
        const QDateTime date = written ? *written : encoded.toDateTime();
        if (!date.isValid()) {
            return fail(QStringLiteral("The date for key \"%1\" is not valid").arg(key));
        }
        value = Value(date);
        break;
    }
    case QCborValue::Url:
        value = Value(encoded.toUrl());
        break;
    case QCborValue::Uuid:
        value = Value(encoded.toUuid());
        break;
    case QCborValue::Tag: {
        const QCborTag tag = encoded.tag();
        const QCborValue content = encoded.taggedValue();
        if (tag == QCborTag(QCborKnownTags::PositiveBignum) && content.isByteArray() &&
            content.toByteArray().size() == 8) {
            value = Value(qFromBigEndian<quint64>(content.toByteArray().constData()));
        } else if (tag == SetTag && content.isArray()) {
            Value::Array elements;
            for (const QCborValue& element : content.toArray()) {
                elements.append(decodeValue(element, allowed, key, depth + 1));
            }
            value = Value::set(elements);
        } else {
            return fail(
                QStringLiteral("The value for key \"%1\" has a kind this archive does not use").arg(key));
        }
        break;
    }
    default:
        return fail(QStringLiteral("The value for key \"%1\" has a kind this archive does not use").arg(key));
    }
    if (error_) {
        return {};
    }
    return isAllowed(ValueClasses::classOf(value), allowed, key) ? value : Value();
}

Value KeyedUnarchiver::decodeObjectMap(const QCborMap& map, const Classes& allowed, const QString& key,
                                       int depth) {
    using namespace KeyedArchiveFormat;
    const QCborValue className = map.value(ClassKey);
    if (!className.isString()) {
        return fail(QStringLiteral("The object for key \"%1\" has no class name").arg(key));
    }
    if (className.toString() == QLatin1String("NSError")) {
        return isAllowed(ValueClasses::error(), allowed, key) ? decodeError(map, depth) : Value();
    }
    const Class* aClass = Class::named(className.toString());
    if (!aClass) {
        return fail(QStringLiteral("The object for key \"%1\" is of an unknown class \"%2\"")
                        .arg(key, className.toString()));
    }
    if (!isAllowed(aClass, allowed, key)) {
        return {};
    }
    const auto object = aClass->make();
    if (!object || !object->supportsSecureCoding()) {
        return fail(QStringLiteral("Objects of class \"%1\" cannot be read securely").arg(aClass->name()));
    }
    const QCborMap* outer = current_;
    const int outerDepth = depth_;
    current_ = &map;
    depth_ = depth;
    const bool valid = object->initWithCoder(*this);
    current_ = outer;
    depth_ = outerDepth;
    if (error_) {
        return {};
    }
    if (!valid) {
        return fail(QStringLiteral("The object for key \"%1\" of class \"%2\" is not valid")
                        .arg(key, aClass->name()));
    }
    return Value(object);
}

Value KeyedUnarchiver::decodeError(const QCborMap& map, int depth) {
    using namespace KeyedArchiveFormat;
    const QCborValue domain = map.value(ErrorDomainKey);
    const QCborValue code = map.value(ErrorCodeKey);
    const QCborValue userInfo = map.value(ErrorUserInfoKey);
    if (!domain.isString() || !code.isInteger() || !(userInfo.isMap() || userInfo.isUndefined())) {
        return fail(QStringLiteral("An archived error is malformed"));
    }
    const Value info = userInfo.isMap() ? decodeValue(userInfo, KeyedArchiveFormat::userInfoClasses(),
                                                      ErrorUserInfoKey, depth + 1)
                                        : Value();
    if (error_) {
        return {};
    }
    return Value(Error(domain.toString(), code.toInteger(), info.toDictionary()));
}

} // namespace platform
