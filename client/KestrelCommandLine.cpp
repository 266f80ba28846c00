#include "KestrelCommandLine.h"

const QString KestrelCommandLine::Usage = QStringLiteral(
    "usage: Kestrel -silentLaunch\n"
    "       Kestrel -xpcServer\n"
    "       Kestrel --sign-in EMAIL [--password PASSWORD]\n"
    "       Kestrel --sign-out\n"
    "       Kestrel --uninstall\n"
    "       Kestrel "
    "'kestreldiscovery://open_collection?collection_id=…&app_id=…&sender_domain=…&sender=…'\n");
const QString KestrelCommandLine::DefaultPassword = QStringLiteral("kestrel-demo");

std::optional<KestrelCommandLine> KestrelCommandLine::parse(const QStringList& arguments, QString* problem) {
    const auto fail = [problem](const QString& reason) -> std::optional<KestrelCommandLine> {
        *problem = reason;
        return std::nullopt;
    };
    if (arguments.isEmpty()) {
        return fail(QStringLiteral("nothing to do"));
    }
    const QString& first = arguments.first();
    KestrelCommandLine command;
    if (arguments.size() == 1) {
        if (first == QLatin1String("-silentLaunch")) {
            command.mode = Mode::SilentLaunch;
            return command;
        }
        if (first == QLatin1String("-xpcServer")) {
            command.mode = Mode::Server;
            return command;
        }
        if (first == QLatin1String("--sign-out")) {
            command.mode = Mode::SignOut;
            return command;
        }
        if (first == QLatin1String("--uninstall")) {
            command.mode = Mode::Uninstall;
            return command;
        }
        if (first.startsWith(KestrelDiscoveryURL::Scheme + QLatin1Char(':'), Qt::CaseInsensitive)) {
            QString reason;
            command.page = KestrelDiscoveryURL::parse(first, &reason);
            if (!command.page) {
                return fail(QStringLiteral("cannot open %1: %2").arg(first, reason));
            }
            command.mode = Mode::OpenPage;
            return command;
        }
    }
    if (first == QLatin1String("--sign-in")) {
        const bool withPassword = arguments.size() == 4 && arguments.at(2) == QLatin1String("--password");
        if ((arguments.size() != 2 && !withPassword) || arguments.at(1).isEmpty() ||
            arguments.at(1).startsWith(QLatin1Char('-'))) {
            return fail(
                QStringLiteral("--sign-in takes an e-mail address and, optionally, --password PASSWORD"));
        }
        command.mode = Mode::SignIn;
        command.email = arguments.at(1);
        command.password = withPassword ? arguments.at(3) : DefaultPassword;
        return command;
    }
    return fail(QStringLiteral("unknown arguments: %1").arg(arguments.join(QLatin1Char(' '))));
}
