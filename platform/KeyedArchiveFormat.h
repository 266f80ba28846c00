#pragma once

#include "Class.h"
#include "Error.h"
#include "ValueClasses.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QtCborCommon>

#include <optional>

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

// Whether a class is one of the listed ones or a subclass of one.
inline bool isAmong(const Class* aClass, const QList<const Class*>& classes) {
    for (const Class* candidate : classes) {
        if (candidate && aClass->isSubclassOf(candidate)) {
            return true;
        }
    }
    return false;
}

// What an error's user info may hold, as the platform allows it: plain
// values and errors, never other objects.
inline const QList<const Class*>& userInfoClasses() {
    static const QList<const Class*> classes{
        ValueClasses::null(), ValueClasses::number(),     ValueClasses::string(), ValueClasses::data(),
        ValueClasses::date(), ValueClasses::url(),        ValueClasses::uuid(),   ValueClasses::array(),
        ValueClasses::set(),  ValueClasses::dictionary(), ValueClasses::error()};
    return classes;
}

// A date as archives write it, "yyyy-MM-ddTHH:mm:ss.zzzZ" in UTC; by hand,
// several times faster than the general date formatter, and archives carry
// many dates.
QByteArray dateText(const QDateTime& date);
// The date of such a text, read without the general date parser, or nothing
// for any other text (an unusual date: the parser's turn).
std::optional<QDateTime> dateFromText(QStringView text);

inline Error codingError(const QString& description, std::int64_t code = CoderInvalidValueError) {
    return Error(NSCocoaErrorDomain, code, {{NSLocalizedDescriptionKey, description}});
}

} // namespace platform::KeyedArchiveFormat
