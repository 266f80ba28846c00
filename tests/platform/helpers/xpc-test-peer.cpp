// Another process of the session for the XPC tests:
//   xpc_test_peer serve NAME
//       serves XPCTestEcho under the service name NAME until killed; when
//       another process owns NAME, prints the error's code and description
//       to standard error and exits with status 3
//   xpc_test_peer call NAME TEXT
//       echoes TEXT through the service NAME and prints the answer and then
//       the serving process's id, one a line; or prints "error CODE
//       DESCRIPTION" and exits with status 4 when the call fails

#include "XPCTestEcho.h"
#include "platform/DispatchSemaphore.h"
#include "platform/XPCListener.h"

#include <cstdio>

using namespace platform;
using namespace std::chrono_literals;

namespace {

class AcceptEverything : public XPCListenerDelegate {
public:
    bool listenerShouldAcceptNewConnection(XPCListener&,
                                           const std::shared_ptr<XPCConnection>& connection) override {
        connection->setExportedInterface(XPCTestEcho::interface());
        connection->setExportedObject(echo_);
        connection->resume();
        return true;
    }

private:
    std::shared_ptr<XPCTestEcho> echo_ = std::make_shared<XPCTestEcho>();
};

int serve(const QString& name) {
    auto listener = XPCListener::makeWithMachServiceName(name);
    auto delegate = std::make_shared<AcceptEverything>();
    listener->setDelegate(delegate);
    Error error(QString(), 0);
    if (!listener->resume(&error)) {
        std::fprintf(stderr, "%lld %s\n", static_cast<long long>(error.code()),
                     qPrintable(error.localizedDescription()));
        return 3;
    }
    DispatchSemaphore::make()->wait();
    return 0;
}

int call(const QString& name, const QString& text) {
    auto connection = XPCConnection::makeWithMachServiceName(name);
    connection->setRemoteObjectInterface(XPCTestEcho::interface());
    connection->resume();
    auto done = DispatchSemaphore::make();
    QStringList answers;
    int status = 0;
    auto proxy = connection->remoteObjectProxyWithErrorHandler([&](const Error& error) {
        answers << QStringLiteral("error %1 %2").arg(error.code()).arg(error.localizedDescription());
        status = 4;
        done->signal();
    });
    proxy->invoke(XPCTestEcho::Echo, {text}, [&](const QList<Value>& reply) {
        answers << reply.value(0).toString();
        done->signal();
    });
    proxy->invoke(XPCTestEcho::Identify, {}, [&](const QList<Value>& reply) {
        answers << QString::number(reply.value(0).toInteger());
        done->signal();
    });
    for (int i = 0; i < 2; ++i) {
        if (!done->wait(60s)) {
            std::fprintf(stderr, "no answer\n");
            return 1;
        }
    }
    connection->invalidate();
    std::printf("%s\n", qPrintable(answers.join(u'\n')));
    return status;
}

} // namespace

int main(int argc, char** argv) {
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode == QLatin1String("serve") && argc == 3) {
        return serve(QString::fromLocal8Bit(argv[2]));
    }
    if (mode == QLatin1String("call") && argc == 4) {
        return call(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    std::fprintf(stderr, "usage: xpc_test_peer serve NAME | call NAME TEXT\n");
    return 2;
}
