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

// The coded properties of one class, declared once: the reflection encodes,
// decodes and copies objects of the class through key-value coding, so
// records need no hand-written coding or copying routines.
//
// A class declares its reflection in a static `makeReflection()` that starts
// from its superclass's reflection (`BRReflection<Superclass>()->copy()`) and
// adds its own properties; `BRReflection<T>()` answers the reflection of T,
// made once and kept for the life of the process.
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
    BRClassReflection() = default;
    void add(PropertyReflection property);

    QList<PropertyReflection> properties_;
    QHash<QString, PropertyReflection> byKey_;
};

// The reflection of class T (which has `staticClass()` and `makeReflection()`).
template <typename T> std::shared_ptr<const BRClassReflection> BRReflection() {
    return BRClassReflection::reflectionForClass(T::staticClass(), [] { return T::makeReflection(); });
}
