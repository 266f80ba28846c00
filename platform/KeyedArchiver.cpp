#include "KeyedArchiver.h"

#include "KeyedArchiveFormat.h"
#include "Object.h"
#include "ValueClasses.h"

#include <QtEndian>

#include <algorithm>
#include <limits>

namespace platform {

KeyedArchiver::KeyedArchiver() : writer_(std::make_unique<CBORWriter>(&data_)) {}

std::optional<QByteArray> KeyedArchiver::archivedDataWithRootObject(const Value& rootObject, Error* error) {
    KeyedArchiver archiver;
    archiver.encodeValue(rootObject);
    if (archiver.error_) {
        if (error) {
            *error = *archiver.error_;
        }
        return std::nullopt;
    }
    archiver.writer_.reset();
    return archiver.data_;
}

void KeyedArchiver::failWithError(const Error& error) {
    if (!error_) {
        error_ = error;
    }
}

void KeyedArchiver::encodeObject(const Value& value, const QString& key) {
    encodeObject(value, encodedKey(key));
}

QByteArray KeyedArchiver::encodedKey(const QString& key) {
    return KeyedArchiveFormat::escapedKey(key).toUtf8();
}

void KeyedArchiver::encodeObject(const Value& value, const QByteArray& encodedKey) {
    if (value.isNull() || !insideObject_) {
        return;
    }
    writer_->appendTextString(encodedKey.constData(), encodedKey.size());
    encodeValue(value);
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

bool KeyedArchiver::isReadableInUserInfo(const Value& value) {
    using namespace KeyedArchiveFormat;
    if (!isAmong(ValueClasses::classOf(value), userInfoClasses())) {
        return false;
    }
    switch (value.kind()) {
    case Value::Kind::Array:
    case Value::Kind::Set:
        return std::all_of(value.toArray().cbegin(), value.toArray().cend(), isReadableInUserInfo);
    case Value::Kind::Dictionary:
        return std::all_of(value.toDictionary().cbegin(), value.toDictionary().cend(), isReadableInUserInfo);
    default:
        // An error's own user info is sifted when it is written.
        return true;
    }
}

void KeyedArchiver::encodeValue(const Value& value) {
    using namespace KeyedArchiveFormat;
    if (error_) {
        return;
    }
    switch (value.kind()) {
    case Value::Kind::Null:
        writer_->appendNull();
        return;
    case Value::Kind::Bool:
        writer_->append(value.toBool());
        return;
    case Value::Kind::Integer:
        writer_->append(static_cast<qint64>(value.toInteger()));
        return;
    case Value::Kind::Unsigned: {
        const std::uint64_t u = value.toUnsigned();
        if (u <= static_cast<std::uint64_t>(std::numeric_limits<qint64>::max())) {
            writer_->append(static_cast<qint64>(u));
            return;
        }
        QByteArray bytes(8, Qt::Uninitialized);
        qToBigEndian(u, bytes.data());
        writer_->append(QCborKnownTags::PositiveBignum);
        writer_->append(bytes);
        return;
    }
    case Value::Kind::Double:
        writer_->append(value.toDouble());
        return;
    case Value::Kind::String:
        writer_->append(value.toString());
        return;
    case Value::Kind::Data:
        writer_->append(value.toData());
        return;
    case Value::Kind::Date: {
        writer_->append(QCborKnownTags::DateTimeString);
        const QByteArray text = KeyedArchiveFormat::dateText(value.toDate());
        writer_->appendTextString(text.constData(), text.size());
        return;
    }
    case Value::Kind::URL:
        writer_->append(QCborKnownTags::Url);
        writer_->append(value.toURL().toString(QUrl::FullyEncoded));
        return;
    case Value::Kind::UUID:
        writer_->append(QCborKnownTags::Uuid);
        writer_->append(value.toUUID().toRfc4122());
        return;
    case Value::Kind::Array:
    case Value::Kind::Set: {
        if (value.kind() == Value::Kind::Set) {
            writer_->append(SetTag);
        }
        const auto& elements = value.toArray();
        writer_->startArray(static_cast<quint64>(elements.size()));
        for (const Value& element : elements) {
            encodeValue(element);
        }
        writer_->endArray();
        return;
    }
    case Value::Kind::Dictionary: {
        const auto& dictionary = value.toDictionary();
        writer_->startMap();
        for (auto it = dictionary.cbegin(); it != dictionary.cend(); ++it) {
            if (!it.value().isNull()) {
                writer_->append(escapedKey(it.key()));
                encodeValue(it.value());
            }
        }
        writer_->endMap();
        return;
    }
    case Value::Kind::Object:
        encodeObjectValue(*value.toObject());
        return;
    case Value::Kind::Error:
        encodeError(*value.toError());
        return;
    }
}

void KeyedArchiver::encodeObjectValue(const Object& object) {
    if (!object.supportsSecureCoding()) {
        failWithError(KeyedArchiveFormat::codingError(
            QStringLiteral("Objects of class %1 cannot be archived securely").arg(object.className())));
        return;
    }
    if (std::find(encoding_.begin(), encoding_.end(), &object) != encoding_.end()) {
        failWithError(KeyedArchiveFormat::codingError(
            QStringLiteral("An object of class %1 contains itself").arg(object.className())));
        return;
    }
    writer_->startMap();
    writer_->append(KeyedArchiveFormat::ClassKey);
    writer_->append(object.className());
    encoding_.push_back(&object);
    const bool outer = insideObject_;
    insideObject_ = true;
    object.encodeWithCoder(*this);
    insideObject_ = outer;
    encoding_.pop_back();
    writer_->endMap();
}

void KeyedArchiver::encodeError(const Error& error) {
    using namespace KeyedArchiveFormat;
    writer_->startMap(4);
    writer_->append(ClassKey);
    writer_->append(QStringLiteral("NSError"));
    writer_->append(ErrorDomainKey);
    writer_->append(error.domain());
    writer_->append(ErrorCodeKey);
    writer_->append(static_cast<qint64>(error.code()));
    writer_->append(ErrorUserInfoKey);
    writer_->startMap();
    const auto& info = error.userInfo();
    for (auto it = info.cbegin(); it != info.cend(); ++it) {
        // What the reading side would refuse (a recovery attempt, a coded
        // object) stays behind, so that the archive as a whole stays readable.
        if (!it.value().isNull() && isReadableInUserInfo(it.value())) {
            writer_->append(escapedKey(it.key()));
            encodeValue(it.value());
        }
    }
    writer_->endMap();
    writer_->endMap();
}

} // namespace platform
