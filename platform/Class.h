#pragma once

#include <QHash>
#include <QString>

#include <functional>
#include <memory>

namespace platform {

class Object;
class Value;

// The run-time identity of an object's class: its name, its superclass, how
// to make an empty instance and the accessors of its properties (what
// key-value coding reads and writes). Classes register once, on first use,
// and stay, unchanged, for the life of the process. Every class defined with
// PLATFORM_DEFINE_CLASS is also announced by name when the program starts,
// so that `named` finds a class this process has not used yet (a subclass
// arriving inside an archive, say) and registers it then.
class Class {
public:
    using Factory = std::function<std::shared_ptr<Object>()>;
    struct Accessor {
        std::function<Value(const Object&)> get;
        // Absent for a read-only property.
        std::function<void(Object&, const Value&)> set;
    };
    // Adds the class's accessors before the class is published.
    using Setup = std::function<void(Class&)>;

    // The class of that name, registered now if it was only announced; null
    // for a name nobody defined.
    static const Class* named(const QString& name);
    // Records how to register a class, without registering it: called while
    // the program starts, when other classes may not be ready yet.
    static bool announce(const char* name, const Class* (*registration)());
    // Registers a class; registering a name twice answers the first registration.
    static const Class* registerClass(const QString& name, const Class* superclass, Factory factory,
                                      const Setup& setup = {});

    void addAccessor(const QString& key, Accessor accessor);
    // The accessor of the class or of its nearest superclass that has one for the key.
    const Accessor* accessorForKey(const QString& key) const;

    const QString& name() const { return name_; }
    const Class* superclass() const { return superclass_; }
    // True for the class itself and its subclasses.
    bool isSubclassOf(const Class* other) const;
    // A new instance, or null for a class without a factory (an abstract one).
    std::shared_ptr<Object> make() const;

private:
    Class(QString name, const Class* superclass, Factory factory);

    const QString name_;
    const Class* const superclass_;
    const Factory factory_;
    QHash<QString, Accessor> accessors_;
};

} // namespace platform

// In a class body: declares the class's registry entry.
#define PLATFORM_DECLARE_CLASS()                                                                             \
public:                                                                                                      \
    static const ::platform::Class* staticClass();                                                           \
    const ::platform::Class* objectClass() const override {                                                  \
        return staticClass();                                                                                \
    }                                                                                                        \
                                                                                                             \
private:

// In the class's source: registers it under its own name, below its
// superclass, made by `factory` (an expression of type Class::Factory, or nullptr).
#define PLATFORM_DEFINE_CLASS(ClassName, SuperName, factory)                                                 \
    PLATFORM_DEFINE_CLASS_WITH_SETUP(ClassName, SuperName, factory, {})

// The same, with a Class::Setup that adds the class's property accessors.
#define PLATFORM_DEFINE_CLASS_WITH_SETUP(ClassName, SuperName, factory, setup)                               \
    const ::platform::Class* ClassName::staticClass() {                                                      \
        static const ::platform::Class* registered = ::platform::Class::registerClass(                       \
            QStringLiteral(#ClassName), SuperName::staticClass(), factory, setup);                           \
        return registered;                                                                                   \
    }                                                                                                        \
    [[maybe_unused]] static const bool ClassName##Announced =                                                \
        ::platform::Class::announce(#ClassName, &ClassName::staticClass);
