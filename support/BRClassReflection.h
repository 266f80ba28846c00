#pragma once

#include "BRPropertyReflection.h"
#include "platform/Class.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/Object.h"

#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

// The coded properties of one class, declared once: the reflection encodes,
// decodes and copies objects of the class through key-value coding, so
// records need no hand-written coding or copying routines.
//
// A class declares its reflection in a static `makeReflection()` that starts
// from its superclass's reflection (`BRReflection<Superclass>()->copy()`) and
// adds its own properties; `BRReflection<T>()` answers the reflection of T,
// made once and kept for the life of the process.
//
// The cached reflection of a class finds that class's accessors for its
// properties once, when it is made, and objects of exactly that class are
// coded through them. Objects of any other class (a subclass coded through
// its superclass's reflection, say) look their accessors up by key, since a
// subclass may add or replace accessors. A copy never takes the accessors
// over: it is extended for another class.
class BRClassReflection {
public:
    using Classes = BRPropertyReflection::Classes;
    using PropertyReflection = std::shared_ptr<const BRPropertyReflection>;

    // A new, empty reflection.
    static std::shared_ptr<BRClassReflection> makeReflection();
    // The cached reflection of a class, made with `make` on first request; a
    // class whose `make` answers none is remembered as having none. Two
    // threads asking at once for a new class may both make one; the first
    // stored is the one every caller gets.
    static std::shared_ptr<const BRClassReflection>
    reflectionForClass(const platform::Class* aClass,
                       const std::function<std::shared_ptr<BRClassReflection>()>& make);

    // A reflection holding the same property reflections, to extend.
    std::shared_ptr<BRClassReflection> copy() const;

    // Each declares one property under `key`. Declaring a key again replaces
    // it for `propertyReflectionForKey` only: coding and copying keep the
    // first declaration.
    void addPropertyForSelector(const QString& key, const platform::Class* objectClass);
    void addPropertyForSelector(const QString& key, const platform::Class* containerClass,
                                const platform::Class* objectClass);
    void addPropertyForSelector(const QString& key, const Classes& objectClasses,
                                const platform::Value& defaultValue,
                                std::shared_ptr<const platform::ValueTransformer> valueTransformer);
    void addPropertyForSelector(const QString& key, const platform::Class* containerClass,
                                const Classes& objectClasses, const platform::Value& defaultValue,
                                std::shared_ptr<const platform::ValueTransformer> valueTransformer);

    const QList<PropertyReflection>& propertyReflections() const { return properties_; }
    PropertyReflection propertyReflectionForKey(const QString& key) const { return byKey_.value(key); }

    void encodeObject(const platform::Object& object, platform::KeyedArchiver& encoder) const;
    void decodeObject(platform::Object& object, platform::KeyedUnarchiver& decoder) const;
    void setupPropertiesOfObject(platform::Object& object, const platform::Object& prototype) const;

private:
    // The accessors one class has for the properties, in their order (null
    // where the class has none for a key).
    struct ClassAccessors {
        const platform::Class* objectClass = nullptr;
        std::vector<const platform::Class::Accessor*> accessors;
    };

    BRClassReflection() = default;
    void add(PropertyReflection property);
    // The accessors found for `object`'s class when the reflection was
    // made, or null when the object is of another class.
    const std::vector<const platform::Class::Accessor*>* accessorsFor(const platform::Object& object) const;

    QList<PropertyReflection> properties_;
    QHash<QString, PropertyReflection> byKey_;
    // Set only while the reflection is made for its class, before anyone
    // else sees it; classes never change once registered, so the accessors
    // stay where they are.
    std::unique_ptr<const ClassAccessors> classAccessors_;
};

// The reflection of class T (which has `staticClass()` and `makeReflection()`).
template <typename T> std::shared_ptr<const BRClassReflection> BRReflection() {
    return BRClassReflection::reflectionForClass(T::staticClass(), [] { return T::makeReflection(); });
}
