#include "KeyedArchiver.h"

#include "KeyedArchiveFormat.h"
#include "Object.h"

#include <QCborArray>
#include <QtEndian>

#include <algorithm>

namespace platform {

std::optional<QByteArray> KeyedArchiver::archivedDataWithRootObject(const Value& rootObject, Error* error) {
    KeyedArchiver archiver;
    const QCborValue root = archiver.encodeValue(rootObject);
    if (archiver.error_) {
        if (error) {
            *error = *archiver.error_;
        }
        return std::nullopt;
    }
    return root.toCbor();
}

void KeyedArchiver::failWithError(const Error& error) {
    if (!error_) {
        error_ = error;
    }
}

void KeyedArchiver::encodeObject(const Value& value, const QString& key) {
    if (value.isNull() || !current_) {
        return;
    }
    QCborValue encoded = encodeValue(value);
    current_->insert(KeyedArchiveFormat::escapedKey(key), encoded);
}

void KeyedArchiver::encodeBool(bool value, const QString& key) {
    encodeObject(value, key);
}
void KeyedArchiver::encodeInteger(std::int64_t value, const QString& key) {
    encodeObject(value, key);
}
void KeyedArchiver::encodeDouble(double value, const QString& key) {
    encodeObject(value, key);
}

QCborValue KeyedArchiver::encodeValue(const Value& value) {
    using namespace KeyedArchiveFormat;
    switch (value.kind()) {
    case Value::Kind::Null:
        return QCborValue(nullptr);
    case Value::Kind::Bool:
        return QCborValue(value.toBool());
    case Value::Kind::Integer:
        return QCborValue(static_cast<qint64>(value.toInteger()));
    case Value::Kind::Unsigned: {
        const std::uint64_t u = value.toUnsigned();
        if (u <= static_cast<std::uint64_t>(std::numeric_limits<qint64>::max())) {
            return QCborValue(static_cast<qint64>(u));
        }
        QByteArray bytes(8, Qt::Uninitialized);
        qToBigEndian(u, bytes.data());
        return QCborValue(QCborKnownTags::PositiveBignum, bytes);
    }
    case Value::Kind::Double:
        return QCborValue(value.toDouble());
    case Value::Kind::String:
        return QCborValue(value.toString());
    case Value::Kind::Data:
        return QCborValue(value.toData());
    case Value::Kind::Date:
        return QCborValue(value.toDate());
    case Value::Kind::URL:
        return QCborValue(QCborKnownTags::Url, value.toURL().toString(QUrl::FullyEncoded));
    case Value::Kind::UUID:
        return QCborValue(QCborKnownTags::Uuid, value.toUUID().toRfc4122());
    case Value::Kind::Array:
    case Value::Kind::Set: {
        QCborArray elements;
        for (const Value& element : value.toArray()) {
            elements.append(encodeValue(element));
        }
        if (value.kind() == Value::Kind::Set) {
            return QCborValue(SetTag, elements);
        }
        return elements;
    }
    case Value::Kind::Dictionary: {
        QCborMap entries;
        const auto& dictionary = value.toDictionary();
        for (auto it = dictionary.cbegin(); it != dictionary.cend(); ++it) {
            if (!it.value().isNull()) {
                entries.insert(escapedKey(it.key()), encodeValue(it.value()));
            }
        }
        return entries;
    }
    case Value::Kind::Object:
        return encodeObjectValue(*value.toObject());
    case Value::Kind::Error:
        return encodeError(*value.toError());
    }
    return QCborValue(nullptr);
}

QCborValue KeyedArchiver::encodeObjectValue(const Object& object) {
    if (!object.supportsSecureCoding()) {
        failWithError(KeyedArchiveFormat::codingError(
            QStringLiteral("Objects of class %1 cannot be archived securely").arg(object.className())));
        return QCborValue(nullptr);
    }
    if (std::find(encoding_.begin(), encoding_.end(), &object) != encoding_.end()) {
        failWithError(KeyedArchiveFormat::codingError(
            QStringLiteral("An object of class %1 contains itself").arg(object.className())));
        return QCborValue(nullptr);
    }
    QCborMap map;
    map.insert(KeyedArchiveFormat::ClassKey, object.className());
    encoding_.push_back(&object);
    QCborMap* outer = current_;
    current_ = &map;
    object.encodeWithCoder(*this);
    current_ = outer;
    encoding_.pop_back();
    return map;
}

QCborValue KeyedArchiver::encodeError(const Error& error) {
    using namespace KeyedArchiveFormat;
    QCborMap map;
    map.insert(ClassKey, QStringLiteral("NSError"));
    map.insert(ErrorDomainKey, error.domain());
    map.insert(ErrorCodeKey, static_cast<qint64>(error.code()));
    QCborMap userInfo;
    const auto& info = error.userInfo();
    for (auto it = info.cbegin(); it != info.cend(); ++it) {
        // What cannot travel (a recovery attempt, say) stays behind.
        KeyedArchiver probe;
        probe.encoding_ = encoding_;
        const QCborValue encoded = probe.encodeValue(it.value());
        if (!probe.error_ && !it.value().isNull()) {
            userInfo.insert(escapedKey(it.key()), encoded);
        }
    }
    map.insert(ErrorUserInfoKey, userInfo);
    return map;
}

} // namespace platform
