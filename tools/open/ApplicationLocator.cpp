#include "ApplicationLocator.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFileInfo>

namespace {

bool isApplicationName(const QString& name) {
    return name.endsWith(QLatin1String(".app"), Qt::CaseInsensitive);
}

QString findInFolder(const QDir& folder, const QString& bundleName) {
    const QDir::Filters filters = QDir::Dirs | QDir::NoDotAndDotDot;
    const QStringList entries = folder.entryList(filters, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(bundleName, Qt::CaseInsensitive) == 0) {
            return folder.filePath(entry);
        }
    }
    for (const QString& entry : entries) {
        if (isApplicationName(entry)) {
            continue;
        }
        const QDir subfolder(folder.filePath(entry));
        for (const QString& inner : subfolder.entryList(filters, QDir::Name)) {
            if (inner.compare(bundleName, Qt::CaseInsensitive) == 0) {
                return subfolder.filePath(inner);
            }
        }
    }
    return {};
}

} // namespace

QString ApplicationLocator::locate(const QString& application) {
    if (application.isEmpty()) {
        return {};
    }
    if (application.contains(QLatin1Char('/'))) {
        const QFileInfo bundle(application);
        return bundle.isDir() ? QDir::cleanPath(bundle.absoluteFilePath()) : QString();
    }
    const QString bundleName =
        isApplicationName(application) ? application : application + QStringLiteral(".app");
    for (const QString& systemFolder : {QStringLiteral("/Applications"), QStringLiteral("~/Applications")}) {
        const QString found = findInFolder(QDir(platform::Paths::resolve(systemFolder)), bundleName);
        if (!found.isEmpty()) {
            return found;
        }
    }
    return {};
}
