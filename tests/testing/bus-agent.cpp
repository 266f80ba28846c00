// A stand-in for a launch agent, for tests of programs the session bus
// starts on demand:
//   kestrel-bus-agent NAME... [-xpcServer] [--record-start=FILE]
// owns every NAME on the session bus and then serves nothing until it is
// ended by a signal. Exit status 1 when the bus or a name cannot be had.
// With --record-start, each start first adds a line to FILE.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QString recordOption = QStringLiteral("--record-start=");
    for (const QString& argument : application.arguments().mid(1)) {
        QFile record(argument.mid(recordOption.size()));
        if (argument.startsWith(recordOption) && record.open(QIODevice::Append)) {
            record.write("started\n");
        }
    }
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
