// catalogue-app: the program inside every app of the development catalogue.
// It stands for a real app being opened: each run appends one line,
// "<bundle identifier> <arguments…>", to the launched-apps log and ends, so
// tests and the demo can see which app was started and with what.

#include "platform/Bundle.h"
#include "platform/Paths.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char** argv) {
    const QString identifier = platform::Bundle::mainBundle()->bundleIdentifier();
    if (identifier.isEmpty()) {
        std::fputs("catalogue-app: not inside an app bundle with a CFBundleIdentifier\n", stderr);
        return 1;
    }
    QByteArray line = identifier.toUtf8();
    for (int i = 1; i < argc; ++i) {
        QByteArray argument(argv[i]);
        // One run, one line, whatever the arguments hold.
        argument.replace('\n', ' ').replace('\r', ' ');
        line += ' ' + argument;
    }
    line += '\n';

    const QString log = platform::Paths::resolve(QStringLiteral("~/Library/Logs/Kestrel/launched-apps.log"));
    QFile file(log);
    // A single unbuffered write in append mode, so lines of runs at the same
    // time never interleave.
    if (!QDir().mkpath(QFileInfo(log).path()) ||
        !file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered) ||
        file.write(line) != line.size()) {
        std::fprintf(stderr, "catalogue-app: could not append to %s: %s\n", qPrintable(log),
                     qPrintable(file.errorString()));
        return 1;
    }
    return 0;
}
