#include "BRClassReflection.h"

#include <mutex>

namespace {

// A lock, not a queue: reflections are asked for from the initialisers of
// function-local statics. Threads waiting for such an initialiser block
// where the worker pool cannot see it, so a wait on a queue inside it could
// leave no pool thread to run the queue, and every thread waits for ever.
// The lock is held for a lookup or an insertion only, never around `make`.
struct Cache {
    std::mutex mutex;
    // A class remembered with none holds a null reflection.
    QHash<QString, std::shared_ptr<const BRClassReflection>> reflections;
};

Cache& cache() {
    static auto* c = new Cache;
    return *c;
}

} // namespace

std::shared_ptr<BRClassReflection> BRClassReflection::makeReflection() {
    return std::shared_ptr<BRClassReflection>(new BRClassReflection);
}

std::shared_ptr<const BRClassReflection>
BRClassReflection::reflectionForClass(const platform::Class* aClass,
                                      const std::function<std::shared_ptr<BRClassReflection>()>& make) {
    auto& c = cache();
    const QString name = aClass->name();
    {
        std::lock_guard lock(c.mutex);
        if (auto it = c.reflections.constFind(name); it != c.reflections.cend()) {
            return *it;
        }
    }
    // Made outside the lock: a class's making asks for its superclass's reflection.
    std::shared_ptr<BRClassReflection> fresh = make();
    if (fresh) {
        auto found = std::make_unique<ClassAccessors>();
        found->objectClass = aClass;
        found->accessors.reserve(static_cast<std::size_t>(fresh->properties_.size()));
        for (const auto& property : std::as_const(fresh->properties_)) {
            found->accessors.push_back(aClass->accessorForKey(property->key()));
        }
        fresh->classAccessors_ = std::move(found);
    }
    std::shared_ptr<const BRClassReflection> made = std::move(fresh);
    std::lock_guard lock(c.mutex);
    if (auto it = c.reflections.constFind(name); it != c.reflections.cend()) {
        return *it;
    }
    c.reflections.insert(name, made);
    return made;
}

std::shared_ptr<BRClassReflection> BRClassReflection::copy() const {
    auto copied = makeReflection();
    copied->properties_ = properties_;
    copied->byKey_ = byKey_;
    return copied;
}

void BRClassReflection::add(PropertyReflection property) {
    const QString key = property->key();
    const bool declared = byKey_.contains(key);
    byKey_.insert(key, property);
    if (!declared) {
        properties_.append(std::move(property));
    }
}

void BRClassReflection::addPropertyForSelector(const QString& key, const platform::Class* objectClass) {
    add(BRPropertyReflection::makeWithKey(key, {objectClass}));
}

void BRClassReflection::addPropertyForSelector(const QString& key, const platform::Class* containerClass,
                                               const platform::Class* objectClass) {
    add(BRPropertyReflection::makeWithKey(key, {containerClass, objectClass}));
}

void BRClassReflection::addPropertyForSelector(
    const QString& key, const Classes& objectClasses, const platform::Value& defaultValue,
    std::shared_ptr<const platform::ValueTransformer> valueTransformer) {
    add(BRPropertyReflection::makeWithKey(key, objectClasses, defaultValue, std::move(valueTransformer)));
}

void BRClassReflection::addPropertyForSelector(
    const QString& key, const platform::Class* containerClass, const Classes& objectClasses,
    const platform::Value& defaultValue, std::shared_ptr<const platform::ValueTransformer> valueTransformer) {
    Classes classes{containerClass};
    classes.append(objectClasses);
    add(BRPropertyReflection::makeWithKey(key, classes, defaultValue, std::move(valueTransformer)));
}

const std::vector<const platform::Class::Accessor*>*
BRClassReflection::accessorsFor(const platform::Object& object) const {
    return classAccessors_ && classAccessors_->objectClass == object.objectClass()
               ? &classAccessors_->accessors
               : nullptr;
}

void BRClassReflection::encodeObject(const platform::Object& object, platform::KeyedArchiver& encoder) const {
    const auto* accessors = accessorsFor(object);
    for (qsizetype i = 0; i < properties_.size(); ++i) {
        const auto& property = properties_[i];
        platform::Value value = accessors ? object.valueForKey((*accessors)[static_cast<std::size_t>(i)])
                                          : object.valueForKey(property->key());
        if (property->valueTransformer()) {
            value = property->valueTransformer()->transformedValue(value);
        }
        encoder.encodeObject(value, property->encodedKey());
    }
}

void BRClassReflection::decodeObject(platform::Object& object, platform::KeyedUnarchiver& decoder) const {
    const auto* accessors = accessorsFor(object);
    for (qsizetype i = 0; i < properties_.size(); ++i) {
        const auto& property = properties_[i];
        platform::Value value = decoder.decodeObjectOfClasses(property->objectClasses(), property->key());
        if (property->valueTransformer() && !value.isNull()) {
            value = property->valueTransformer()->reverseTransformedValue(value);
        }
        if (value.isNull()) {
            value = property->defaultValue();
        }
        if (accessors) {
            object.setValueForKey(value, property->key(), (*accessors)[static_cast<std::size_t>(i)]);
        } else {
            object.setValueForKey(value, property->key());
        }
    }
}

void BRClassReflection::setupPropertiesOfObject(platform::Object& object,
                                                const platform::Object& prototype) const {
    for (const auto& property : properties_) {
        object.setValueForKey(prototype.valueForKey(property->key()), property->key());
    }
}
