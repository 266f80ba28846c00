#pragma once

// The small protocol the XPC tests speak with xpc_test_peer, and the object
// that serves it on either end.

#include "platform/DispatchQueue.h"
#include "platform/ValueClasses.h"
#include "platform/XPCConnection.h"
#include "platform/XPCExportedObject.h"
#include "platform/XPCInterface.h"
#include "platform/XPCListenerEndpoint.h"
#include "platform/XPCRemoteObjectProxy.h"

#include <QUrl>

#include <csignal>
#include <memory>
#include <mutex>
#include <vector>

#include <unistd.h>

class XPCTestEcho : public platform::XPCExportedObject {
public:
    static inline const QString Echo = QStringLiteral("echo:withReply:");
    static inline const QString Fail = QStringLiteral("fail:withReply:");
    static inline const QString Hang = QStringLiteral("hang:withReply:");
    static inline const QString Drop = QStringLiteral("drop:withReply:");
    static inline const QString BadReply = QStringLiteral("badReply:withReply:");
    static inline const QString Crash = QStringLiteral("crash:withReply:");
    static inline const QString CallBack = QStringLiteral("callBack:with:withReply:");
    static inline const QString Identify = QStringLiteral("identifyWithReply:");
    static inline const QString Notify = QStringLiteral("notify:");
    static inline const QString Count = QStringLiteral("countWithReply:");

    static platform::XPCInterface interface() {
        using namespace platform;
        XPCInterface interface(QStringLiteral("XPCTestEcho"));
        auto plain = ValueClasses::propertyListClasses();
        auto withErrors = plain;
        withErrors << ValueClasses::error() << XPCListenerEndpoint::staticClass();
        for (const QString& selector : {Echo, Fail, Hang, Drop, BadReply, Crash}) {
            interface.addSelector(selector, 1, 1);
            interface.setClasses(withErrors, selector, 0, false);
            interface.setClasses(withErrors, selector, 0, true);
        }
        interface.addSelector(CallBack, 2, 1);
        interface.setClasses({XPCListenerEndpoint::staticClass()}, CallBack, 0, false);
        interface.setClasses(withErrors, CallBack, 0, true);
        interface.addSelector(Identify, 0, 1);
        interface.addSelector(Notify, 1, std::nullopt);
        interface.addSelector(Count, 0, 1);
        return interface;
    }

    void invokeSelector(const QString& selector, const QList<platform::Value>& arguments,
                        platform::XPCReply reply) override {
        using namespace platform;
        std::lock_guard lock(mutex_);
        if (selector == Echo) {
            reply.send({arguments[0]});
        } else if (selector == Fail) {
            reply.send({Error(QStringLiteral("com.kestrel.XPCTest"), arguments[0].toInteger(),
                              {{NSLocalizedDescriptionKey, QStringLiteral("Failed as asked")}})});
        } else if (selector == Hang) {
            hung_.push_back(std::move(reply));
        } else if (selector == BadReply) {
            reply.send({QUrl(QStringLiteral("https://example.invalid/"))});
        } else if (selector == Crash) {
            ::kill(::getpid(), SIGKILL);
        } else if (selector == CallBack) {
            callBack(arguments[0].toObject<XPCListenerEndpoint>(), arguments[1], std::move(reply));
        } else if (selector == Identify) {
            reply.send({static_cast<std::int64_t>(::getpid())});
        } else if (selector == Notify) {
            ++notified_;
        } else if (selector == Count) {
            reply.send({notified_});
        }
        // Drop: the reply goes unsent.
    }

private:
    // Connects back to the caller's anonymous listener and answers with
    // what its echo answered.
    void callBack(const std::shared_ptr<platform::XPCListenerEndpoint>& endpoint,
                  const platform::Value& value, platform::XPCReply reply) {
        using namespace platform;
        auto connection = XPCConnection::makeWithListenerEndpoint(endpoint);
        connection->setRemoteObjectInterface(interface());
        connection->resume();
        auto shared = std::make_shared<XPCReply>(std::move(reply));
        connection->remoteObjectProxyWithErrorHandler([shared](const Error& error) { shared->send({error}); })
            ->invoke(Echo, {value}, [shared](const QList<Value>& answer) { shared->send(answer); });
        callBacks_.push_back(std::move(connection));
    }

    std::mutex mutex_;
    std::vector<platform::XPCReply> hung_;
    std::vector<std::shared_ptr<platform::XPCConnection>> callBacks_;
    std::int64_t notified_ = 0;
};
