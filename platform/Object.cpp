#include "Object.h"

#include "ScopedBlockingCall.h"
#include "Value.h"

#include <QStringList>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace platform {

// Observers are called on whichever threads make changes, and removal comes
// from yet another; a removal must wait for calls already under way, which a
// queue cannot express: hence a mutex and a condition.
struct Object::Observation {
    struct Entry {
        const ObserverToken token;
        const QString key;
        Observer observer; // let go of once removed and no call runs it any more
        bool removed = false;
        int calls = 0; // running now, on any thread
    };

    std::mutex mutex;
    std::condition_variable callEnded;
    ObserverToken next = 1;
    std::vector<std::shared_ptr<Entry>> observers;
};

namespace {

// The observer calls running on this thread, innermost last: an observer
// that removes itself (or one that called it) must not wait for itself.
thread_local std::vector<const void*> tRunningObservers;

int runningOnThisThread(const void* entry) {
    return static_cast<int>(std::count(tRunningObservers.begin(), tRunningObservers.end(), entry));
}

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
    return valueForKey(objectClass()->accessorForKey(key));
}

Value Object::valueForKey(const Class::Accessor* accessor) const {
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
    return setValueForKey(value, key, objectClass()->accessorForKey(key));
}

bool Object::setValueForKey(const Value& value, const QString& key, const Class::Accessor* accessor) {
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
            observed_.store(true, std::memory_order_release);
        }
        observation = observation_;
    }
    std::lock_guard lock(observation->mutex);
    const ObserverToken token = observation->next++;
    observation->observers.push_back(
        std::make_shared<Observation::Entry>(Observation::Entry{token, key, std::move(observer)}));
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
    Observer released;
    {
        std::unique_lock lock(observation->mutex);
        const auto found = std::find_if(observation->observers.begin(), observation->observers.end(),
                                        [token](const auto& entry) { return entry->token == token; });
        if (found == observation->observers.end()) {
            return;
        }
        const std::shared_ptr<Observation::Entry> entry = *found;
        observation->observers.erase(found);
        entry->removed = true;
        const int ownCalls = runningOnThisThread(entry.get());
        if (entry->calls > ownCalls) {
            ScopedBlockingCall blocking;
            observation->callEnded.wait(lock, [&] { return entry->calls == ownCalls; });
        }
        if (entry->calls == 0) {
            released = std::move(entry->observer);
        }
    }
    // `released` goes here, outside the mutex: what it holds may observe this object too.
}

void Object::didChangeValueForKey(const QString& key) {
    if (!observed_.load(std::memory_order_acquire)) {
        return;
    }
    std::shared_ptr<Observation> observation;
    {
        std::lock_guard lock(observationCreation());
        observation = observation_;
    }
    if (!observation) {
        return;
    }
    std::vector<std::shared_ptr<Observation::Entry>> matching;
    {
        std::lock_guard lock(observation->mutex);
        for (const auto& entry : observation->observers) {
            if (entry->key == key) {
                matching.push_back(entry);
            }
        }
    }
    for (const auto& entry : matching) {
        {
            std::lock_guard lock(observation->mutex);
            if (entry->removed) {
                continue;
            }
            ++entry->calls;
        }
        tRunningObservers.push_back(entry.get());
        entry->observer(key);
        tRunningObservers.pop_back();
        Observer released;
        {
            std::lock_guard lock(observation->mutex);
            if (--entry->calls == 0 && entry->removed) {
                released = std::move(entry->observer);
            }
        }
        observation->callEnded.notify_all();
    }
}

} // namespace platform
