#include "Tools.h"

#include <QFileInfo>

namespace platform {

QString Tools::directory() {
    const QString configured = QString::fromLocal8Bit(qgetenv("KESTREL_TOOLS_DIR"));
    if (!configured.isEmpty()) {
        return configured;
    }
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).absolutePath();
}

QString Tools::path(const QString& systemPath) {
    const QFileInfo candidate(directory() + QLatin1Char('/') + QFileInfo(systemPath).fileName());
    if (candidate.isFile() && candidate.isExecutable()) {
        return candidate.absoluteFilePath();
    }
    return systemPath;
}

} // namespace platform
