#pragma once

#include "Class.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

// The root of objects with identity. Subclasses declare their class with
// PLATFORM_DECLARE_CLASS / PLATFORM_DEFINE_CLASS and override equality,
// hash, description and copying where they are values.
//
// Observers can watch a key of an object; the object announces its changes
// with `didChangeValueForKey`, and observers are called on the thread that
// made the change.
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

    ObserverToken addObserver(const QString& key, Observer observer);
    void removeObserver(ObserverToken token);

protected:
    Object() = default;
    void didChangeValueForKey(const QString& key);

private:
    struct Observation;
    std::shared_ptr<Observation> observation_;
};

} // namespace platform
