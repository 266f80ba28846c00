// A stand-in for a launch agent, for tests of programs the session bus
// starts on demand:
//   kestrel-bus-agent NAME... [-xpcServer]
// owns every NAME on the session bus and then serves nothing until it is
// ended by a signal. Exit status 1 when the bus or a name cannot be had.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "kestrel-bus-agent: no session bus\n");
        return 1;
    }
    for (const QString& argument : application.arguments().mid(1)) {
        if (argument.startsWith(QLatin1Char('-'))) {
            continue;
        }
        if (!bus.registerService(argument)) {
            std::fprintf(stderr, "kestrel-bus-agent: cannot own %s\n", qPrintable(argument));
            return 1;
        }
    }
    return application.exec();
}
