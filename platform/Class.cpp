#include "Class.h"

#include "Value.h"

#include <QHash>

#include <mutex>

namespace platform {

namespace {

// Classes register lazily from whichever thread first uses them.
struct Registry {
    std::recursive_mutex mutex;
    QHash<QString, const Class*> classes;
    QHash<QString, const Class* (*)()> announced;
};

Registry& registry() {
    static auto* r = new Registry;
    return *r;
}

} // namespace

Class::Class(QString name, const Class* superclass, Factory factory)
    : name_(std::move(name)), superclass_(superclass), factory_(std::move(factory)) {}

const Class* Class::named(const QString& name) {
    auto& r = registry();
    const Class* (*registration)() = nullptr;
    {
        std::lock_guard lock(r.mutex);
        if (const Class* registered = r.classes.value(name, nullptr)) {
            return registered;
        }
        registration = r.announced.value(name, nullptr);
    }
    // Outside the lock: the registration waits for any other thread already
    // registering the same class, which needs the lock to finish.
    return registration ? registration() : nullptr;
}

bool Class::announce(const char* name, const Class* (*registration)()) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.announced.insert(QString::fromLatin1(name), registration);
    return true;
}

const Class* Class::registerClass(const QString& name, const Class* superclass, Factory factory,
                                  const Setup& setup) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (const Class* existing = r.classes.value(name, nullptr)) {
        return existing;
    }
    auto* made = new Class(name, superclass, std::move(factory));
    // The superclass is complete by now: starting from its table makes every
    // lookup one step, whatever the depth of the class.
    if (superclass) {
        made->accessors_ = superclass->accessors_;
    }
    if (setup) {
        setup(*made);
    }
    r.classes.insert(name, made);
    return made;
}

void Class::addAccessor(const QString& key, Accessor accessor) {
    accessors_.insert(key, std::move(accessor));
}

const Class::Accessor* Class::accessorForKey(const QString& key) const {
    const auto it = accessors_.constFind(key);
    return it == accessors_.cend() ? nullptr : &*it;
}

bool Class::isSubclassOf(const Class* other) const {
    for (const Class* c = this; c; c = c->superclass_) {
        if (c == other) {
            return true;
        }
    }
    return false;
}

std::shared_ptr<Object> Class::make() const {
    return factory_ ? factory_() : nullptr;
}

} // namespace platform
