// Another process on the session bus, for the tests of distributed
// notifications:
//   kestrel-notification-peer echo NAME
//       posts NAME about "ready", answers the first NAME about "request" with NAME about
//       "reply" carrying the request's user info plus "echoedBy" (its process id), then exits
//   kestrel-notification-peer malformed NAME
//       sends signals on the notification interface that are not notifications, then posts
//       NAME about "well-formed"
//   kestrel-notification-peer center
//       prints the domain, code and description of the error of defaultCenter, one a line;
//       exit status 3 when there is no center

#include "platform/DispatchQueue.h"
#include "platform/DispatchSemaphore.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/PropertyList.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <cstdio>
#include <optional>

#include <unistd.h>

using namespace platform;
using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

namespace {

int fail(const QString& what, const std::optional<Error>& error = std::nullopt) {
    std::fprintf(stderr, "%s%s\n", qPrintable(what), error ? qPrintable(u": "_s + error->description()) : "");
    return 1;
}

int echo(DistributedNotificationCenter& center, const QString& name) {
    auto answered = DispatchSemaphore::make();
    std::optional<Error> failure;
    Error error(QString(), 0);
    auto observer = center.addObserver(
        name, u"request"_s, DispatchQueue::make(u"echo"_s),
        [&](const Notification& request) {
            Value::Dictionary userInfo = request.userInfo();
            userInfo.insert(u"echoedBy"_s, static_cast<std::int64_t>(::getpid()));
            Error postError(QString(), 0);
            if (!center.postNotificationName(name, u"reply"_s, userInfo, false, &postError)) {
                failure = postError;
            }
            answered->signal();
        },
        &error);
    if (!observer) {
        return fail(u"cannot observe"_s, error);
    }
    if (!center.postNotificationName(name, u"ready"_s, {}, false, &error)) {
        return fail(u"cannot announce"_s, error);
    }
    if (!answered->wait(30s)) {
        return fail(u"no request came"_s);
    }
    center.removeObserver(observer);
    if (failure) {
        return fail(u"cannot answer"_s, failure);
    }
    return center.flushPostedNotifications(10s, &error) ? 0 : fail(u"cannot flush"_s, error);
}

int malformed(DistributedNotificationCenter& center, const QString& name) {
    auto bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"malformed"_s);
    if (!bus.isConnected()) {
        return fail(u"no session bus"_s);
    }
    auto signal = [&](const QString& object, const QList<QVariant>& userInfo) {
        QDBusMessage message = QDBusMessage::createSignal(DistributedNotificationCenter::DBusPath,
                                                          DistributedNotificationCenter::DBusInterface,
                                                          DistributedNotificationCenter::DBusMember);
        message.setArguments(QList<QVariant>{name, object} + userInfo);
        return bus.send(message);
    };
    const auto array = PropertyList::write(Value(Value::Array{1, 2}), PropertyList::Format::Binary);
    const auto xml = PropertyList::write(Value(Value::Dictionary{{"a", 1}}), PropertyList::Format::XML);
    const bool sent = signal(u"no-user-info"_s, {}) && signal(u"text"_s, {u"bplist00"_s}) &&
                      signal(u"garbage"_s, {QByteArray("bplist00\xff\xff\xff", 11)}) &&
                      signal(u"array"_s, {*array}) && signal(u"xml"_s, {*xml});
    // The bad signals go out on another connection: make sure the bus has
    // routed them before the good one leaves.
    const QDBusMessage reply = bus.call(QDBusMessage::createMethodCall(
        u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s, u"org.freedesktop.DBus"_s, u"GetId"_s));
    Error error(QString(), 0);
    if (!sent || reply.type() != QDBusMessage::ReplyMessage) {
        return fail(u"cannot send the malformed signals"_s);
    }
    if (!center.postNotificationName(name, u"well-formed"_s, {{"fine", true}}, false, &error) ||
        !center.flushPostedNotifications(10s, &error)) {
        return fail(u"cannot post"_s, error);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    Error error(QString(), 0);
    auto center = DistributedNotificationCenter::defaultCenter(&error);
    if (arguments.value(0) == u"center"_s) {
        std::printf("%s\n%lld\n%s\n", qPrintable(error.domain()), static_cast<long long>(error.code()),
                    qPrintable(error.localizedDescription()));
        return center ? 0 : 3;
    }
    if (!center) {
        return fail(u"no center"_s, error);
    }
    if (arguments.size() == 2 && arguments[0] == u"echo"_s) {
        return echo(*center, arguments[1]);
    }
    if (arguments.size() == 2 && arguments[0] == u"malformed"_s) {
        return malformed(*center, arguments[1]);
    }
    std::fprintf(stderr, "usage: %s echo NAME | malformed NAME | center\n", argv[0]);
    return 2;
}
