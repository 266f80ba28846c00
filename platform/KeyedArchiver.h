#pragma once

#include "CBORWriter.h"
#include "Error.h"
#include "Value.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace platform {

class Object;

// Writes values and objects as a keyed archive: CBOR (RFC 8949) in which
// every object is a map holding its class name under "$class" and its keys.
// Plain values keep their kind: booleans, integers (a positive bignum above
// the signed range), reals, text, bytes, dates (tag 0, text with
// milliseconds), URLs (tag 32), UUIDs (tag 37), arrays, sets (tag 258) and
// dictionaries (maps; a key that starts with "$" is written with one more
// "$"). Errors are objects of class "NSError"; user-info entries that reading
// would refuse (objects other than errors, anywhere inside) are left out. An
// object must support secure coding; an object inside itself is refused. The archive is written as it goes,
// without building a tree first.
class KeyedArchiver {
public:
    static std::optional<QByteArray> archivedDataWithRootObject(const Value& rootObject,
                                                                Error* error = nullptr);

    // For `Object::encodeWithCoder`. A null value writes nothing: it reads back as absent.
    void encodeObject(const Value& value, const QString& key);
    // The same with the key as `encodedKey` made it, for callers that write
    // one key many times.
    void encodeObject(const Value& value, const QByteArray& encodedKey);
    static QByteArray encodedKey(const QString& key);
    void encodeBool(bool value, const QString& key);
    void encodeInteger(std::int64_t value, const QString& key);
    void encodeDouble(double value, const QString& key);
    // Makes the whole archiving fail with this error (the first one counts).
    void failWithError(const Error& error);

private:
    KeyedArchiver();
    void encodeValue(const Value& value);
    void encodeObjectValue(const Object& object);
    void encodeError(const Error& error);
    // Whether reading an error's user info would accept the value.
    static bool isReadableInUserInfo(const Value& value);

    QByteArray data_;
    std::unique_ptr<CBORWriter> writer_;
    bool insideObject_ = false;
    std::vector<const Object*> encoding_;
    std::optional<Error> error_;
};

} // namespace platform
