#include "Workspace.h"

#include "Pipe.h"
#include "Task.h"
#include "Tools.h"

#include <QStandardPaths>

#include <chrono>

namespace platform {

namespace {

// The tool returns as soon as the application's process exists; a tool that
// takes longer than this is stuck, and the application counts as not started.
constexpr std::chrono::seconds kOpenToolTimeout{30};

bool runOpenTool(const QStringList& arguments, Error* error) {
    const QString tool = Tools::path(QStringLiteral("/usr/bin/open"));
    auto complaints = Pipe::make(error);
    if (!complaints) {
        return false;
    }
    auto task = Task::make();
    task->setLaunchPath(tool);
    task->setArguments(arguments);
    task->setStandardInput(Task::Stream::NullDevice);
    task->setStandardOutput(Task::Stream::NullDevice);
    task->setStandardError(complaints);
    if (!task->launch(error)) {
        return false;
    }
    if (!task->waitUntilExit(kOpenToolTimeout)) {
        task->terminate();
        if (error) {
            *error = Error::posix(ETIMEDOUT, QStringLiteral("\"%1\" did not finish").arg(tool));
        }
        return false;
    }
    if (task->terminationReason() == Task::TerminationReason::Exit && task->terminationStatus() == 0) {
        return true;
    }
    if (error) {
        const QString complaint = QString::fromLocal8Bit(complaints->readDataToEndOfFile()).trimmed();
        *error = Error(NSCocoaErrorDomain, task->terminationStatus(),
                       {{NSLocalizedDescriptionKey,
                         complaint.isEmpty() ? QStringLiteral("\"%1\" failed").arg(tool) : complaint}});
    }
    return false;
}

QString applicationPath(const QUrl& applicationURL) {
    return applicationURL.isLocalFile() ? applicationURL.toLocalFile() : applicationURL.toString();
}

} // namespace

bool Workspace::openURL(const QUrl& url, Error* error) {
    QString opener = QString::fromLocal8Bit(qgetenv("KESTREL_OPEN_COMMAND"));
    if (opener.isEmpty()) {
        opener = QStringLiteral("xdg-open");
    }
    const QString path = opener.contains(QLatin1Char('/')) ? opener : QStandardPaths::findExecutable(opener);
    if (path.isEmpty()) {
        if (error) {
            *error = Error::posix(ENOENT, QStringLiteral("No program \"%1\" to open URLs with").arg(opener));
        }
        return false;
    }
    auto task = Task::make();
    task->setLaunchPath(path);
    task->setArguments({url.toString(QUrl::FullyEncoded)});
    task->setStandardInput(Task::Stream::NullDevice);
    return task->launch(error);
}

bool Workspace::openURLsWithApplicationAtURL(const QList<QUrl>& urls, const QUrl& applicationURL,
                                             Error* error) {
    QStringList arguments{QStringLiteral("-a"), applicationPath(applicationURL)};
    for (const QUrl& url : urls) {
        arguments << (url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded));
    }
    return runOpenTool(arguments, error);
}

bool Workspace::openApplicationAtURL(const QUrl& applicationURL, Error* error) {
    return runOpenTool({QStringLiteral("-a"), applicationPath(applicationURL)}, error);
}

} // namespace platform
