#include "StoreOptions.h"

#include <QFileInfo>

#include <limits>

#include <sys/types.h>

namespace {

std::optional<qint64> parseNumber(const QString& text, qint64 minimum, qint64 maximum) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < minimum || value > maximum) {
        return std::nullopt;
    }
    return value;
}

} // namespace

QString StoreOptions::usage() {
    return QStringLiteral("Usage: kestrel-store --root DIR [options]\n"
                          "\n"
                          "Serves the files below DIR over HTTPS on 127.0.0.1 with a certificate\n"
                          "authority of its own, and prints on standard output:\n"
                          "  KESTREL_STORE_URL=https://127.0.0.1:PORT\n"
                          "  KESTREL_CA_BUNDLE=/path/to/ca.pem\n"
                          "\n"
                          "It also answers GET /endpoints.json (the endpoints manifest, every\n"
                          "endpoint on this store) and POST /api/customer/sign-in (the demo\n"
                          "account demo@kestrel.app, password kestrel-demo).\n"
                          "\n"
                          "Options:\n"
                          "  --root DIR             the folder served (required)\n"
                          "  --port N               the port to listen on (default 0: any free port)\n"
                          "  --state-dir DIR        where the CA and server keys and certificates go\n"
                          "                         (default: a temporary folder removed at exit);\n"
                          "                         a CA found there is used again\n"
                          "  --drop-after BYTES     cut the connection after BYTES body bytes...\n"
                          "  --drop-count K         ...for the first K responses whose body is longer\n"
                          "                         (default 1)\n"
                          "  --drop-after B1,B2,... cut successive responses after B1, B2, ... bytes\n"
                          "                         (0 cuts before any body byte)\n"
                          "  --no-length            send bodies chunked, without Content-Length;\n"
                          "                         ranges are not offered and are ignored\n"
                          "  --no-ranges            ignore Range headers (always the whole body)\n"
                          "  --range-limit BYTES    answer at most BYTES of any range asked for\n"
                          "  --status CODE          answer every request with this status (200-599)\n"
                          "  --rate BYTES_PER_SEC   limit each response's sending rate\n"
                          "  --faults-under PATH    misbehave only for requests whose path starts with PATH\n"
                          "  --events-file FILE     accept POST /events and append each body to FILE\n"
                          "                         as one line\n"
                          "  --parent-pid PID       stop once process PID is no longer the store's parent,\n"
                          "                         so that a test or script killed before it could stop\n"
                          "                         the store leaves none behind\n"
                          "  --help                 show this text\n");
}

std::optional<StoreOptions> StoreOptions::parse(const QStringList& arguments, QString* error) {
    StoreOptions options;
    bool dropCountGiven = false;
    auto fail = [error](const QString& reason) -> std::optional<StoreOptions> {
        *error = reason;
        return std::nullopt;
    };

    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString name = arguments.at(i);
        std::optional<QString> inlineValue;
        if (const qsizetype equals = name.indexOf(QLatin1Char('='));
            name.startsWith(QLatin1String("--")) && equals > 0) {
            inlineValue = name.mid(equals + 1);
            name = name.left(equals);
        }
        const bool isFlag = name == QLatin1String("--help") || name == QLatin1String("--no-length") ||
                            name == QLatin1String("--no-ranges");
        if (isFlag) {
            if (inlineValue) {
                return fail(QStringLiteral("%1 takes no value").arg(name));
            }
            if (name == QLatin1String("--help")) {
                options.help = true;
            } else if (name == QLatin1String("--no-length")) {
                options.noLength = true;
            } else {
                options.noRanges = true;
            }
            continue;
        }
        static const QStringList valued{QStringLiteral("--root"),         QStringLiteral("--port"),
                                        QStringLiteral("--state-dir"),    QStringLiteral("--drop-after"),
                                        QStringLiteral("--drop-count"),   QStringLiteral("--status"),
                                        QStringLiteral("--rate"),         QStringLiteral("--events-file"),
                                        QStringLiteral("--faults-under"), QStringLiteral("--range-limit"),
                                        QStringLiteral("--parent-pid")};
        if (!valued.contains(name)) {
            return fail(QStringLiteral("unknown argument \"%1\"").arg(arguments.at(i)));
        }
        QString value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < arguments.size()) {
            value = arguments.at(++i);
        } else {
            return fail(QStringLiteral("%1 needs a value").arg(name));
        }

        constexpr qint64 maxSize = std::numeric_limits<qint64>::max();
        if (name == QLatin1String("--root")) {
            options.root = value;
        } else if (name == QLatin1String("--state-dir")) {
            if (value.isEmpty()) {
                return fail(QStringLiteral("--state-dir needs a folder"));
            }
            options.stateDir = value;
        } else if (name == QLatin1String("--port")) {
            const auto port = parseNumber(value, 0, 65535);
            if (!port) {
                return fail(QStringLiteral("--port wants a number from 0 to 65535, not \"%1\"").arg(value));
            }
            options.port = static_cast<quint16>(*port);
        } else if (name == QLatin1String("--drop-after")) {
            options.dropAfter.clear();
            for (const QString& entry : value.split(QLatin1Char(','))) {
                const auto bytes = parseNumber(entry, 0, maxSize);
                if (!bytes) {
                    return fail(QStringLiteral("--drop-after wants byte counts, not \"%1\"").arg(value));
                }
                options.dropAfter.append(*bytes);
            }
        } else if (name == QLatin1String("--drop-count")) {
            const auto count = parseNumber(value, 1, std::numeric_limits<int>::max());
            if (!count) {
                return fail(QStringLiteral("--drop-count wants a positive number, not \"%1\"").arg(value));
            }
            options.dropCount = static_cast<int>(*count);
            dropCountGiven = true;
        } else if (name == QLatin1String("--status")) {
            const auto status = parseNumber(value, 200, 599);
            if (!status) {
                return fail(QStringLiteral("--status wants a status from 200 to 599, not \"%1\"").arg(value));
            }
            options.status = static_cast<int>(*status);
        } else if (name == QLatin1String("--events-file")) {
            if (value.isEmpty()) {
                return fail(QStringLiteral("--events-file needs a file"));
            }
            options.eventsFile = value;
        } else if (name == QLatin1String("--faults-under")) {
            if (!value.startsWith(QLatin1Char('/'))) {
                return fail(
                    QStringLiteral("--faults-under wants a path starting with \"/\", not \"%1\"").arg(value));
            }
            options.faultsUnder = value;
        } else if (name == QLatin1String("--range-limit")) {
            options.rangeLimit = parseNumber(value, 1, maxSize);
            if (!options.rangeLimit) {
                return fail(
                    QStringLiteral("--range-limit wants a positive number of bytes, not \"%1\"").arg(value));
            }
        } else if (name == QLatin1String("--parent-pid")) {
            options.parentPid = parseNumber(value, 1, std::numeric_limits<pid_t>::max());
            if (!options.parentPid) {
                return fail(QStringLiteral("--parent-pid wants a process ID, not \"%1\"").arg(value));
            }
        } else if (name == QLatin1String("--rate")) {
            options.rate = parseNumber(value, 1, maxSize);
            if (!options.rate) {
                return fail(QStringLiteral("--rate wants a positive number of bytes per second, not \"%1\"")
                                .arg(value));
            }
        }
    }

    if (options.help) {
        return options;
    }
    if (options.root.isEmpty()) {
        return fail(QStringLiteral("--root is required"));
    }
    if (!QFileInfo(options.root).isDir()) {
        return fail(QStringLiteral("\"%1\" is not a folder").arg(options.root));
    }
    if (dropCountGiven && options.dropAfter.size() != 1) {
        return fail(QStringLiteral("--drop-count goes with a single --drop-after byte count"));
    }
    if (options.dropAfter.size() == 1) {
        options.dropAfter = QList<qint64>(options.dropCount, options.dropAfter.first());
    }
    return options;
}
