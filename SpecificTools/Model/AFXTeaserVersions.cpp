#include "AFXTeaserVersions.h"

#include "AFXIntegerValue.h"

#include <QStringList>

QString AFXTeaserVersionFromOldTeaserVersion(std::int64_t oldTeaserVersion) {
    return QStringLiteral("0.%1").arg(oldTeaserVersion);
}

std::int64_t AFXTeaserVersionToOldTeaserVersion(const QString& teaserVersion) {
    const QStringList components = teaserVersion.split(QLatin1Char('.'));
    for (auto it = components.crbegin(); it != components.crend(); ++it) {
        if (const std::int64_t value = AFXIntegerValue(*it); value > 0) {
            return value;
        }
    }
    return 0;
}
