// hdiutil: attaches disk images by unpacking them into their mount point
// and detaches them by removing it again. Only the verbs and options the
// system uses are offered.

#include "ImageAttacher.h"
#include "ImageDetacher.h"

#include <QString>
#include <QStringList>

#include <cstdio>

namespace {

constexpr const char* kUsage = "usage: hdiutil attach IMAGE -mountpoint DIR [-nobrowse] [-noautoopen]\n"
                               "       hdiutil detach DIR [-force]\n";

int usage(const QString& problem) {
    std::fprintf(stderr, "hdiutil: %s\n%s", problem.toLocal8Bit().constData(), kUsage);
    return 2;
}

int failed(const char* verb, const QString& reason) {
    std::fprintf(stderr, "hdiutil: %s failed - %s\n", verb, reason.toLocal8Bit().constData());
    return 1;
}

int attach(const QStringList& arguments) {
    QString image;
    QString mountPoint;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("-mountpoint")) {
            if (++i == arguments.size()) {
                return usage(QStringLiteral("-mountpoint needs a folder"));
            }
            mountPoint = arguments[i];
        } else if (argument == QLatin1String("-nobrowse") || argument == QLatin1String("-noautoopen")) {
            // Nothing is shown to the user here, so there is nothing to hide or open.
        } else if (argument.startsWith(QLatin1Char('-'))) {
            return usage(QStringLiteral("unknown option %1").arg(argument));
        } else if (image.isEmpty()) {
            image = argument;
        } else {
            return usage(QStringLiteral("only one image can be attached at a time"));
        }
    }
    if (image.isEmpty() || mountPoint.isEmpty()) {
        return usage(QStringLiteral("attach needs an image and -mountpoint"));
    }
    QString reason;
    return ImageAttacher(image, mountPoint).attach(&reason) ? 0 : failed("attach", reason);
}

int detach(const QStringList& arguments) {
    QString mountPoint;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("-force")) {
            continue;
        }
        if (argument.startsWith(QLatin1Char('-'))) {
            return usage(QStringLiteral("unknown option %1").arg(argument));
        }
        if (!mountPoint.isEmpty()) {
            return usage(QStringLiteral("only one mount point can be detached at a time"));
        }
        mountPoint = argument;
    }
    if (mountPoint.isEmpty()) {
        return usage(QStringLiteral("detach needs a mount point"));
    }
    QString reason;
    return ImageDetacher(mountPoint).detach(&reason) ? 0 : failed("detach", reason);
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 2; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const QString verb = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (verb == QLatin1String("attach")) {
        return attach(arguments);
    }
    if (verb == QLatin1String("detach")) {
        return detach(arguments);
    }
    return usage(verb.isEmpty() ? QStringLiteral("a verb is needed")
                                : QStringLiteral("unknown verb %1").arg(verb));
}
