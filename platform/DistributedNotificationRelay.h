#pragma once

#include <QDBusMessage>
#include <QObject>

#include <atomic>
#include <functional>

namespace platform {

// Receives the D-Bus signals of DistributedNotificationCenter. QtDBus only
// hands signals to a slot of a QObject, delivered as an event to the thread
// the object lives in; the relay lives in QtDBus's own connection thread
// (see DistributedNotificationCenter.cpp) and passes each message on to a
// handler that must return quickly.
class DistributedNotificationRelay : public QObject {
    Q_OBJECT

public:
    explicit DistributedNotificationRelay(std::function<void(const QDBusMessage&)> handler);

    // Whether confirmServing() has run in the relay's thread.
    bool isServing() const;

public Q_SLOTS:
    void receive(const QDBusMessage& message);
    void confirmServing();

private:
    const std::function<void(const QDBusMessage&)> handler_;
    std::atomic<bool> serving_{false};
};

} // namespace platform
