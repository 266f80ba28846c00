#pragma once

#include "Error.h"

#include <QString>
#include <QtCborCommon>

// The names and tags shared by the keyed archiver and unarchiver.
namespace platform::KeyedArchiveFormat {

inline const QString ClassKey = QStringLiteral("$class");
inline const QString ErrorDomainKey = QStringLiteral("NSDomain");
inline const QString ErrorCodeKey = QStringLiteral("NSCode");
inline const QString ErrorUserInfoKey = QStringLiteral("NSUserInfo");
// The registered CBOR tag of finite sets.
constexpr QCborTag SetTag = QCborTag(258);
// The platform's code for an archive that cannot be read or written as asked.
constexpr std::int64_t CoderReadCorruptError = 4864;
constexpr std::int64_t CoderInvalidValueError = 4866;

// Dictionary keys that start with "$" get one more, so that none is taken
// for the "$class" of an object.
inline QString escapedKey(const QString& key) {
    return key.startsWith(QLatin1Char('$')) ? QLatin1Char('$') + key : key;
}
inline QString unescapedKey(const QString& key) {
    return key.startsWith(QLatin1String("$$")) ? key.mid(1) : key;
}

inline Error codingError(const QString& description, std::int64_t code = CoderInvalidValueError) {
    return Error(NSCocoaErrorDomain, code, {{NSLocalizedDescriptionKey, description}});
}

} // namespace platform::KeyedArchiveFormat
