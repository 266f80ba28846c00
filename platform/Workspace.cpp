#include "Workspace.h"

#include "Task.h"

#include <QStandardPaths>

namespace platform {

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

} // namespace platform
