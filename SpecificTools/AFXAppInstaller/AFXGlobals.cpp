#include "AFXGlobals.h"

#include "platform/FileManager.h"
#include "platform/Paths.h"

#include <QUuid>

std::optional<QString> AFXGlobals::makeTemporaryDirectory(platform::Error* error) {
    const QString folder = platform::Paths::temporaryDirectory() +
                           QStringLiteral("/com.kestrel.DesktopClient/") +
                           QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    if (!platform::FileManager::createDirectory(folder, true, error)) {
        return std::nullopt;
    }
    return folder;
}
