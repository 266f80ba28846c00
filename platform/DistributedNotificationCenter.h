#pragma once

#include "Error.h"
#include "Notification.h"
#include "Value.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

class DispatchQueue;

// Notifications that cross process boundaries: whatever one process of the
// user's session posts reaches the matching observers of every process,
// the poster included.
//
// On the wire a notification is a D-Bus signal broadcast on the session bus:
// object path DBusPath, interface DBusInterface, member DBusMember, with the
// arguments (s name, s object, ay userInfo). The user info travels as a
// binary property list ("bplist00") whose root is a dictionary, written and
// read by PropertyList. Signals whose arguments do not have this shape are
// ignored.
//
// Threading: posting encodes on the caller's thread and hands the signal to
// the connection, which sends it from QtDBus's own thread; posts leave in
// the order they were made. Observer blocks run on the queue given for them,
// in the order the notifications arrived. The registry of observers lives on
// a private serial queue.
class DistributedNotificationCenter : public std::enable_shared_from_this<DistributedNotificationCenter> {
public:
    // What addObserver answers and removeObserver takes; nothing else can be
    // done with it.
    class ObserverToken;

    static const QString ErrorDomain; // "com.kestrel.DistributedNotificationCenter"
    enum ErrorCode : std::int64_t {
        // There is no session bus to talk to (defaultCenter).
        NoSessionBusError = 1,
        // The name, the object or the user info cannot travel (postNotificationName).
        InvalidNotificationError = 2,
        // The bus connection failed or did not answer in time.
        BusConnectionError = 3,
    };

    static const QString DBusPath;      // "/com/kestrel/DistributedNotification"
    static const QString DBusInterface; // "com.kestrel.DistributedNotification"
    static const QString DBusMember;    // "Post"

    // Larger user info is refused: the bus limits message sizes, and a
    // notification is meant to carry a little state, not payloads.
    static constexpr std::int64_t MaximumUserInfoSize = 16 * 1024 * 1024;

    // The process's center, made on first use and kept for the life of the
    // process; null with an error of ErrorDomain / NoSessionBusError when the
    // session bus cannot be reached. A later call tries again.
    static std::shared_ptr<DistributedNotificationCenter> defaultCenter(Error* error = nullptr);

    ~DistributedNotificationCenter();
    DistributedNotificationCenter(const DistributedNotificationCenter&) = delete;
    DistributedNotificationCenter& operator=(const DistributedNotificationCenter&) = delete;

    // Broadcasts a notification; answers once it is encoded and queued for
    // sending. `name` must not be empty. The user info may hold booleans,
    // integers (up to the signed 64-bit range), reals, strings, data, dates,
    // arrays and dictionaries, nested at will; anything else (null, URLs,
    // UUIDs, sets, objects, errors) is refused with InvalidNotificationError
    // naming the offending key path, and nothing is sent. Strings must be
    // valid UTF-16 without NUL characters.
    //
    // `deliverImmediately` is accepted and ignored: D-Bus hands every signal
    // to its recipients as it arrives; there is no suspended observer whose
    // deliveries it could hurry.
    bool postNotificationName(const QString& name, const QString& object,
                              const Value::Dictionary& userInfo = {}, bool deliverImmediately = false,
                              Error* error = nullptr);

    // Blocks until the bus has taken every notification this process posted
    // before the call, or the timeout passes (BusConnectionError). A program
    // that posts and then exits at once calls this first: posts still
    // waiting in the connection when the process ends are lost.
    bool flushPostedNotifications(std::chrono::milliseconds timeout = std::chrono::seconds(5),
                                  Error* error = nullptr);

    // Runs `block` on `queue` (the main queue when null) for every
    // notification whose name equals `name` and whose object equals
    // `object`; an empty name or object matches any. Blocks of one observer
    // run in the order the notifications arrived, provided the queue is
    // serial. Once this returns, notifications posted afterwards by any
    // process reach the observer. Null with BusConnectionError when the bus
    // connection is gone.
    std::shared_ptr<ObserverToken> addObserver(const QString& name, const QString& object,
                                               std::shared_ptr<DispatchQueue> queue,
                                               std::function<void(const Notification&)> block,
                                               Error* error = nullptr);

    // Once this returns, the observer's block is not running and is never
    // called again, not even for notifications already waiting on its queue.
    // It waits for a call of the block under way on another thread, except
    // when it is itself called from inside an observer block of this center:
    // then a call under way elsewhere may finish, since waiting for it could
    // deadlock two observers that remove each other. Removing an observer
    // from inside its own block is fine. A null token is ignored.
    void removeObserver(const std::shared_ptr<ObserverToken>& observer);

private:
    struct Private;
    explicit DistributedNotificationCenter(std::unique_ptr<Private> d);
    static std::shared_ptr<DistributedNotificationCenter> make(Error* error);

    void receive(const QString& name, const QString& object, const QByteArray& userInfo);

    std::unique_ptr<Private> d_;
};

} // namespace platform
