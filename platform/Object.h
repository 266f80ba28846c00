#pragma once

#include "Class.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

class KeyedArchiver;
class KeyedUnarchiver;
class Value;

// The root of objects with identity. Subclasses declare their class with
// PLATFORM_DECLARE_CLASS / PLATFORM_DEFINE_CLASS and override equality,
// hash, description and copying where they are values.
//
// Key-value coding reads and writes properties through the accessors the
// class registered (see PropertyAccessors.h); writing one tells its
// observers. Observers can watch a key of an object; the object announces
// other changes with `didChangeValueForKey`, and observers are called on the
// thread that made the change.
//
// Objects that can be archived say so with `supportsSecureCoding`, write
// their keys in `encodeWithCoder` and read them back in `initWithCoder`, on
// an instance made by their class's factory.
class Object : public std::enable_shared_from_this<Object> {
public:
    using ObserverToken = std::uint64_t;
    using Observer = std::function<void(const QString& key)>;

    virtual ~Object();

    static const Class* staticClass();
    virtual const Class* objectClass() const;
    QString className() const { return objectClass()->name(); }
    bool isKindOfClass(const Class* aClass) const { return objectClass()->isSubclassOf(aClass); }

    // Identity unless a subclass says otherwise.
    virtual bool isEqual(const Object& other) const;
    virtual std::uint64_t hash() const;
    // "<ClassName: 0x…>" unless a subclass says otherwise.
    virtual QString description() const;
    // Immutable objects answer themselves; mutable ones override with a real copy.
    virtual std::shared_ptr<Object> copy() const;

    // The value of the property, or null for a key the class does not know.
    Value valueForKey(const QString& key) const;
    // The same through the accessor this object's class has for a key
    // (`Class::accessorForKey`), found beforehand by callers that read the
    // same keys of many objects.
    Value valueForKey(const Class::Accessor* accessor) const;
    // A dotted path of keys through objects and dictionaries.
    Value valueForKeyPath(const QString& keyPath) const;
    // Answers false for a key the class does not know or cannot write.
    bool setValueForKey(const Value& value, const QString& key);
    // The same through the accessor this object's class has for the key
    // (`Class::accessorForKey`), found beforehand by callers that set the
    // same keys of many objects.
    bool setValueForKey(const Value& value, const QString& key, const Class::Accessor* accessor);

    virtual bool supportsSecureCoding() const { return false; }
    virtual void encodeWithCoder(KeyedArchiver& coder) const;
    // Answers false when what was read does not make a valid object.
    virtual bool initWithCoder(KeyedUnarchiver& coder);

    ObserverToken addObserver(const QString& key, Observer observer);
    void removeObserver(ObserverToken token);

protected:
    Object() = default;
    void didChangeValueForKey(const QString& key);

private:
    struct Observation;
    std::shared_ptr<Observation> observation_;
    // Whether anyone ever observed the object: most never are, and their
    // changes then need no look at the observation table and its lock.
    std::atomic<bool> observed_ = false;
};

} // namespace platform
