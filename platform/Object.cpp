#include "Object.h"

#include "Value.h"

#include <QStringList>

#include <mutex>
#include <vector>

namespace platform {

struct Object::Observation {
    std::mutex mutex;
    ObserverToken next = 1;
    std::vector<std::tuple<ObserverToken, QString, Observer>> observers;
};

namespace {
// Guards the lazy creation of an object's observation table; the table has
// its own mutex for the observers themselves.
std::mutex& observationCreation() {
    static auto* mutex = new std::mutex;
    return *mutex;
}
} // namespace

Object::~Object() = default;

const Class* Object::staticClass() {
    static const Class* registered = Class::registerClass(QStringLiteral("NSObject"), nullptr, nullptr);
    return registered;
}

const Class* Object::objectClass() const {
    return staticClass();
}

bool Object::isEqual(const Object& other) const {
    return this == &other;
}

std::uint64_t Object::hash() const {
    return reinterpret_cast<std::uintptr_t>(this);
}

QString Object::description() const {
    return QStringLiteral("<%1: 0x%2>").arg(className()).arg(reinterpret_cast<std::uintptr_t>(this), 0, 16);
}

std::shared_ptr<Object> Object::copy() const {
    return std::const_pointer_cast<Object>(shared_from_this());
}

Value Object::valueForKey(const QString& key) const {
    const Class::Accessor* accessor = objectClass()->accessorForKey(key);
    return accessor && accessor->get ? accessor->get(*this) : Value();
}

Value Object::valueForKeyPath(const QString& keyPath) const {
    const QStringList keys = keyPath.split(QLatin1Char('.'));
    Value current = valueForKey(keys.first());
    for (qsizetype i = 1; i < keys.size(); ++i) {
        if (const auto object = current.toObject()) {
            current = object->valueForKey(keys[i]);
        } else {
            current = current[keys[i]];
        }
    }
    return current;
}

bool Object::setValueForKey(const Value& value, const QString& key) {
    const Class::Accessor* accessor = objectClass()->accessorForKey(key);
    if (!accessor || !accessor->set) {
        return false;
    }
    accessor->set(*this, value);
    didChangeValueForKey(key);
    return true;
}

void Object::encodeWithCoder(KeyedArchiver&) const {}

bool Object::initWithCoder(KeyedUnarchiver&) {
    return false;
}

Object::ObserverToken Object::addObserver(const QString& key, Observer observer) {
    std::shared_ptr<Observation> observation;
    {
        std::lock_guard lock(observationCreation());
        if (!observation_) {
            observation_ = std::make_shared<Observation>();
        }
        observation = observation_;
    }
    std::lock_guard lock(observation->mutex);
    const ObserverToken token = observation->next++;
    observation->observers.emplace_back(token, key, std::move(observer));
    return token;
}

void Object::removeObserver(ObserverToken token) {
    std::shared_ptr<Observation> observation;
    {
        std::lock_guard lock(observationCreation());
        observation = observation_;
    }
    if (!observation) {
        return;
    }
    std::lock_guard lock(observation->mutex);
    std::erase_if(observation->observers, [token](const auto& entry) { return std::get<0>(entry) == token; });
}

void Object::didChangeValueForKey(const QString& key) {
    std::shared_ptr<Observation> observation;
    {
        std::lock_guard lock(observationCreation());
        observation = observation_;
    }
    if (!observation) {
        return;
    }
    std::vector<Observer> toCall;
    {
        std::lock_guard lock(observation->mutex);
        for (const auto& [token, observedKey, observer] : observation->observers) {
            if (observedKey == key) {
                toCall.push_back(observer);
            }
        }
    }
    for (const auto& observer : toCall) {
        observer(key);
    }
}

} // namespace platform
