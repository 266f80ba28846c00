// launchctl: loads, unloads and lists the user's launch agents, which on
// this platform are programs the session bus starts on demand (see
// LaunchAgentRegistry).

#include "LaunchAgentRegistry.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QStringList>

#include <algorithm>
#include <cstdio>

namespace {

constexpr const char* kUsage = "usage: launchctl load [-w] [-F] PLIST...\n"
                               "       launchctl unload [-w] [-F] PLIST...\n"
                               "       launchctl list LABEL\n";

// The system's tool answers an unknown label with this status.
constexpr int kNoSuchService = 113;

int usage(const QString& problem) {
    std::fprintf(stderr, "launchctl: %s\n%s", problem.toLocal8Bit().constData(), kUsage);
    return 64;
}

void complain(const QString& problem) {
    std::fprintf(stderr, "%s\n", problem.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QStringList arguments = application.arguments().mid(1);
    if (arguments.isEmpty()) {
        return usage(QStringLiteral("a subcommand is needed"));
    }
    const QString subcommand = arguments.takeFirst();
    LaunchAgentRegistry registry(QDBusConnection::sessionBus());

    if (subcommand == QLatin1String("list")) {
        if (arguments.size() != 1) {
            return usage(QStringLiteral("list takes one label"));
        }
        const QString& label = arguments.first();
        if (!registry.isLoaded(label)) {
            complain(QStringLiteral("Could not find service \"%1\" in domain for port").arg(label));
            return kNoSuchService;
        }
        const auto pid = registry.runningProcess(label);
        std::printf("{\n\t\"Label\" = \"%s\";\n", label.toLocal8Bit().constData());
        if (pid) {
            std::printf("\t\"PID\" = %d;\n", static_cast<int>(*pid));
        }
        std::printf("};\n");
        return 0;
    }
    if (subcommand != QLatin1String("load") && subcommand != QLatin1String("unload")) {
        return usage(QStringLiteral("unknown subcommand %1").arg(subcommand));
    }
    bool overrideDisabled = false;
    QStringList paths;
    for (const QString& argument : arguments) {
        // -w (and -F, which forces the same for a user's agents) loads an
        // agent whose property list says it is disabled.
        const bool overrideOption = argument.size() > 1 && argument.startsWith(QLatin1Char('-')) &&
                                    std::all_of(argument.begin() + 1, argument.end(), [](QChar flag) {
                                        return flag == QLatin1Char('w') || flag == QLatin1Char('F');
                                    });
        if (overrideOption) {
            overrideDisabled = true;
        } else if (argument.startsWith(QLatin1Char('-'))) {
            return usage(QStringLiteral("unknown option %1").arg(argument));
        } else {
            paths << argument;
        }
    }
    if (paths.isEmpty()) {
        return usage(QStringLiteral("%1 needs a property list").arg(subcommand));
    }
    int status = 0;
    for (const QString& path : paths) {
        QString problem;
        const bool done = subcommand == QLatin1String("load")
                              ? registry.load(path, overrideDisabled, &problem)
                              : registry.unload(path, &problem);
        if (!done) {
            complain(problem);
            status = 1;
        }
    }
    return status;
}
