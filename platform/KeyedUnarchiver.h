#pragma once

#include "CBORTree.h"
#include "Error.h"
#include "Value.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace platform {

class Class;

// Reads keyed archives (see KeyedArchiver) securely: every value read must
// be of one of the classes allowed for it, or of a subclass of one; the
// elements of arrays, sets and dictionaries are held to the same list.
// Anything else — an unknown or unexpected class, a value of the wrong kind,
// truncated or malformed bytes, absurd nesting — is a clear Error, never a
// crash.
class KeyedUnarchiver {
public:
    using Classes = QList<const Class*>;
    static constexpr int MaximumDepth = 200;

    static std::optional<Value> unarchivedObjectOfClasses(const Classes& classes, const QByteArray& data,
                                                          Error* error = nullptr);
    template <typename T>
    static std::shared_ptr<T> unarchivedObjectOfClass(const QByteArray& data, Error* error = nullptr) {
        const auto value = unarchivedObjectOfClasses({T::staticClass()}, data, error);
        return value ? value->template toObject<T>() : nullptr;
    }

    // For `Object::initWithCoder`. A missing key reads as null (or false, 0).
    Value decodeObjectOfClasses(const Classes& classes, const QString& key);
    Value decodeObjectOfClass(const Class* aClass, const QString& key) {
        return decodeObjectOfClasses({aClass}, key);
    }
    bool decodeBool(const QString& key);
    std::int64_t decodeInteger(const QString& key);
    double decodeDouble(const QString& key);
    bool containsValueForKey(const QString& key) const;
    // Makes the whole reading fail with this error (the first one counts).
    void failWithError(const Error& error);
    const std::optional<Error>& error() const { return error_; }

private:
    KeyedUnarchiver() = default;
    // The items are indices into `tree_`, which bounds how deeply they nest
    // (MaximumDepth), and so how deeply these calls recurse.
    Value decodeValue(std::uint32_t item, const Classes& allowed, const QString& key);
    // The elements of an array, each held to `allowed`.
    Value::Array decodeElements(std::uint32_t array, const Classes& allowed, const QString& key);
    Value decodeTagged(std::uint32_t tag, const Classes& allowed, const QString& key);
    Value decodeObjectMap(std::uint32_t map, const Classes& allowed, const QString& key);
    Value decodeError(std::uint32_t map);
    bool isAllowed(const Class* aClass, const Classes& allowed, const QString& key);
    Value fail(const QString& description);

    const CBORTree* tree_ = nullptr;
    // The map of the object being read, if any.
    std::optional<std::uint32_t> current_;
    std::optional<Error> error_;
};

} // namespace platform
