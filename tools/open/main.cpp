// open: starts application bundles and opens files and URLs the way the
// system's scripts and the workspace call it:
//   open PATH|URL...                     a bundle ("….app") is started, anything else
//                                        goes to the desktop's opener (xdg-open)
//   open -a APPLICATION [PATH|URL...]    starts the application with the paths and URLs
//                                        as its arguments
// What it starts is detached and outlives it. It exits with 0 once everything
// is started, otherwise with 1 and a line on standard error.

#include "ApplicationLocator.h"
#include "DetachedLauncher.h"
#include "platform/Bundle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include <cstdio>
#include <optional>

namespace {

constexpr const char* kUsage = "Usage: open [-a <application>] [<file or URL> ...]\n";

int fail(const QString& complaint) {
    std::fprintf(stderr, "%s\n", complaint.toLocal8Bit().constData());
    return 1;
}

bool isApplicationBundle(const QString& path) {
    return path.endsWith(QLatin1String(".app"), Qt::CaseInsensitive) && QFileInfo(path).isDir();
}

// A URL stays as it is; a file, given as a path or a "file:" URL, becomes
// its absolute path.
struct Item {
    QString value;
    bool isMissingFile = false;
};

Item resolveItem(const QString& argument) {
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    QString path = argument;
    if (!QFileInfo::exists(argument) && scheme.match(argument).hasMatch()) {
        const QUrl url(argument);
        if (!url.isLocalFile()) {
            return {argument};
        }
        path = url.toLocalFile();
    }
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    return {absolute, !QFileInfo::exists(absolute)};
}

int startApplication(const QString& bundlePath, const QStringList& arguments) {
    const auto bundle = platform::Bundle::bundleWithPath(bundlePath);
    const QString executable = bundle ? bundle->executablePath() : QString();
    if (executable.isEmpty() || !QFileInfo(executable).isExecutable()) {
        return fail(QStringLiteral("The application %1 cannot be opened because its executable is missing.")
                        .arg(bundlePath));
    }
    std::vector<std::string> argumentBytes;
    for (const QString& argument : arguments) {
        argumentBytes.push_back(argument.toLocal8Bit().toStdString());
    }
    std::string problem;
    if (!DetachedLauncher::launch(QFile::encodeName(executable).toStdString(), argumentBytes, &problem)) {
        return fail(QStringLiteral("The application %1 cannot be opened: %2")
                        .arg(bundlePath, QString::fromLocal8Bit(problem)));
    }
    return 0;
}

int openWithDesktop(const QString& item) {
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        return fail(QStringLiteral("No application knows how to open %1.").arg(item));
    }
    std::string problem;
    if (!DetachedLauncher::launch(QFile::encodeName(opener).toStdString(), {item.toLocal8Bit().toStdString()},
                                  &problem)) {
        return fail(
            QStringLiteral("No application could open %1: %2").arg(item, QString::fromLocal8Bit(problem)));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    std::optional<QString> application;
    qsizetype next = 0;
    for (; next < arguments.size(); ++next) {
        const QString& argument = arguments[next];
        if (argument == QLatin1String("--")) {
            ++next;
            break;
        }
        if (argument.size() < 2 || !argument.startsWith(QLatin1Char('-'))) {
            break;
        }
        if (argument != QLatin1String("-a")) {
            std::fprintf(stderr, "open: invalid option %s\n%s", argument.toLocal8Bit().constData(), kUsage);
            return 1;
        }
        if (++next == arguments.size()) {
            std::fprintf(stderr, "open: -a needs an application\n%s", kUsage);
            return 1;
        }
        application = arguments[next];
    }
    const QStringList rest = arguments.mid(next);
    if (!application && rest.isEmpty()) {
        std::fputs(kUsage, stderr);
        return 1;
    }

    // Nothing is started unless every item is there, so a mistyped path
    // does not leave half of a request done.
    QStringList items;
    for (const QString& argument : rest) {
        const Item item = resolveItem(argument);
        if (item.isMissingFile) {
            return fail(QStringLiteral("The file %1 does not exist.").arg(item.value));
        }
        items << item.value;
    }

    if (application) {
        const QString bundlePath = ApplicationLocator::locate(*application);
        if (bundlePath.isEmpty()) {
            return fail(QStringLiteral("Unable to find application named '%1'").arg(*application));
        }
        return startApplication(bundlePath, items);
    }
    for (const QString& item : std::as_const(items)) {
        const int status = isApplicationBundle(item) ? startApplication(item, {}) : openWithDesktop(item);
        if (status != 0) {
            return status;
        }
    }
    return 0;
}
