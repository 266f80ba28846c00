#include "AFXAppAlgorithms.h"

#include "AFXCodedApp.h"
#include "AFXCodedAppIconResource.h"
#include "AFXCodedInternalUpdateResource.h"
#include "AFXCodedTeaserInstallResource.h"
#include "AFXCodedVendorInstallResource.h"
#include "AFXIntegerValue.h"
#include "AFXModelProperties.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "platform/StringFormat.h"
#include "support/BRSystemInfo.h"
#include "support/BRVersionComparator.h"

#include <algorithm>

using VersionPointer = std::shared_ptr<AFXCodedAppVersion>;

namespace {

// The best of the app's versions, the first seen starting as best.
template <typename Replaces> VersionPointer bestVersion(const AFXCodedApp& app, Replaces replaces) {
    VersionPointer best;
    for (const auto& candidate : app.versions()) {
        if (!best || replaces(*candidate, *best)) {
            best = candidate;
        }
    }
    return best;
}

} // namespace

bool AFXAppIsEqual(const AFXCodedApp& app, const platform::Object& other) {
    const auto* otherApp = dynamic_cast<const AFXCodedApp*>(&other);
    return otherApp && otherApp->identifier() == app.identifier();
}

std::uint64_t AFXAppHash(const AFXCodedApp& app) {
    return platform::Value(app.identifier()).hash() ^ AFXValueOrNull(app.bundleIdentifier()).hash() ^
           AFXValueOrNull(app.name()).hash();
}

QString AFXAppDescription(const AFXCodedApp& app, const QString& baseDescription) {
    return platform::stringWithFormat(QStringLiteral("%@, identifier = %@, bundleID = %@, name = %@"),
                                      baseDescription, app.identifier(),
                                      AFXValueOrNull(app.bundleIdentifier()), AFXValueOrNull(app.name()));
}

QString AFXAppTeaserBundleIdentifier(const AFXCodedApp& app) {
    if (app.bundleIdentifier().isEmpty()) {
        return {};
    }
    QString replaced = app.bundleIdentifier();
    replaced.replace(QLatin1Char('.'), QLatin1Char('-'));
    return QStringLiteral("com.kestrel.teaser.") + replaced;
}

VersionPointer AFXAppFirstVersion(const AFXCodedApp& app) {
    return bestVersion(app, [](const AFXCodedAppVersion& candidate, const AFXCodedAppVersion& best) {
        return compareVersion(candidate.identifier(), best.identifier()) < 0 &&
               compareVersion(candidate.uiVersion(), best.uiVersion()) <= 0;
    });
}

VersionPointer AFXAppLatestVersion(const AFXCodedApp& app) {
    return bestVersion(app, [](const AFXCodedAppVersion& candidate, const AFXCodedAppVersion& best) {
        return compareVersion(candidate.identifier(), best.identifier()) > 0 &&
               compareVersion(candidate.uiVersion(), best.uiVersion()) >= 0;
    });
}

VersionPointer AFXAppLatestMajorVersion(const AFXCodedApp& app) {
    const auto major = [](const AFXCodedAppVersion& version) {
        return AFXIntegerValue(version.uiVersion().section(QLatin1Char('.'), 0, 0));
    };
    return bestVersion(app, [&major](const AFXCodedAppVersion& candidate, const AFXCodedAppVersion& best) {
        const std::int64_t candidateMajor = major(candidate);
        const std::int64_t bestMajor = major(best);
        if (candidateMajor != bestMajor) {
            return candidateMajor > bestMajor;
        }
        // A version without a date cannot be shown to be earlier.
        return candidate.releaseDate().isValid() && best.releaseDate().isValid() &&
               candidate.releaseDate() < best.releaseDate();
    });
}

VersionPointer AFXPickAppVersion(const AFXCodedApp& app, platform::Error* error) {
    AFXCodedApp::Versions newestFirst = app.versions();
    std::stable_sort(newestFirst.begin(), newestFirst.end(),
                     [](const VersionPointer& a, const VersionPointer& b) {
                         const int byIdentifier = compareVersion(a->identifier(), b->identifier());
                         if (byIdentifier != 0) {
                             return byIdentifier > 0;
                         }
                         return compareVersion(a->uiVersion(), b->uiVersion()) > 0;
                     });
    std::optional<platform::Error> newestError;
    for (const auto& version : newestFirst) {
        const std::optional<platform::Error> unsupported = AFXVerifyVersionSupport(app, *version);
        if (!unsupported) {
            return version;
        }
        if (!newestError) {
            newestError = unsupported;
        }
    }
    if (error && newestError) {
        *error = *newestError;
    }
    return nullptr;
}

std::optional<platform::Error> AFXVerifyVersionSupport(const AFXCodedApp&,
                                                       const AFXCodedAppVersion& version) {
    const QString current = BRSystemInfo::OSVersion();
    if (version.minOSVersion().isEmpty() || compareVersion(current, version.minOSVersion()) >= 0) {
        return std::nullopt;
    }
    return afx_incompatibleAppVersion(version, current);
}

bool AFXVerifyInternalUpdateVersionSupport(const AFXCodedInternalUpdateResource& resource,
                                           platform::Error* error) {
    const QString current = BRSystemInfo::OSVersion();
    if (resource.minOSVersion().isEmpty() || compareVersion(resource.minOSVersion(), current) <= 0) {
        return true;
    }
    if (error) {
        *error = afx_incompatibleInternalOSVersion(resource.minOSVersion(), current);
    }
    return false;
}

std::shared_ptr<AFXCodedAppIconResource> AFXGetAppIconResource(const AFXCodedApp& app) {
    for (const auto& resource : app.resources()) {
        if (resource->kind() == AFXResourceKindAppIcon) {
            if (auto icon = std::dynamic_pointer_cast<AFXCodedAppIconResource>(resource)) {
                return icon;
            }
        }
    }
    return nullptr;
}

VersionPointer AFXAppVersionFind(const AFXCodedApp& app, const QString& uiVersion) {
    for (const auto& version : app.versions()) {
        if (version->uiVersion() == uiVersion) {
            return version;
        }
    }
    return nullptr;
}

std::shared_ptr<AFXCodedVendorInstallResource>
AFXVendorInstallResourceForVersion(const AFXCodedAppVersion& version,
                                   const QList<std::shared_ptr<AFXCodedAppResource>>& resources) {
    std::shared_ptr<AFXCodedVendorInstallResource> greatest;
    for (const auto& resource : resources) {
        auto vendor = std::dynamic_pointer_cast<AFXCodedVendorInstallResource>(resource);
        if (!vendor) {
            continue;
        }
        if (vendor->appVersionID() == version.identifier()) {
            return vendor;
        }
        if (!greatest || compareVersion(vendor->appVersionID(), greatest->appVersionID()) > 0) {
            greatest = vendor;
        }
    }
    return greatest;
}

std::shared_ptr<AFXCodedTeaserInstallResource>
AFXLatestTeaserInstallResourceFromResources(const QList<std::shared_ptr<AFXCodedAppResource>>& resources) {
    std::shared_ptr<AFXCodedTeaserInstallResource> latest;
    for (const auto& resource : resources) {
        auto teaser = std::dynamic_pointer_cast<AFXCodedTeaserInstallResource>(resource);
        if (teaser && (!latest || compareVersion(teaser->appVersion(), latest->appVersion()) > 0)) {
            latest = teaser;
        }
    }
    return latest;
}
