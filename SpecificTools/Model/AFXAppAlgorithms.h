#pragma once

#include "platform/Error.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace platform {
class Object;
}
class AFXCodedApp;
class AFXCodedAppIconResource;
class AFXCodedAppVersion;
class AFXCodedInternalUpdateResource;
class AFXCodedAppResource;
class AFXCodedTeaserInstallResource;
class AFXCodedVendorInstallResource;

// The rules every app record follows, whatever its storage. Versions are
// compared with the version comparator (BRVersionComparator.h), the system's
// version is BRSystemInfo::OSVersion().

// Another app with an equal store identifier.
bool AFXAppIsEqual(const AFXCodedApp& app, const platform::Object& other);
// The exclusive-or of the hashes of the identifier, bundle identifier and name.
std::uint64_t AFXAppHash(const AFXCodedApp& app);
// "<base>, identifier = …, bundleID = …, name = …".
QString AFXAppDescription(const AFXCodedApp& app, const QString& baseDescription);

// "com.kestrel.teaser." followed by the bundle identifier with every "."
// replaced by "-"; empty for an app without bundle identifier.
QString AFXAppTeaserBundleIdentifier(const AFXCodedApp& app);

// Walking the versions from the first seen, a candidate replaces the best
// one when its identifier is earlier (later) and its UI version is not later
// (earlier), so a store identifier that went backwards cannot win against
// what users were shown. None for an app without versions.
std::shared_ptr<AFXCodedAppVersion> AFXAppFirstVersion(const AFXCodedApp& app);
std::shared_ptr<AFXCodedAppVersion> AFXAppLatestVersion(const AFXCodedApp& app);
// The earliest-released version of the highest major line (the UI version's
// integer part before the first ".").
std::shared_ptr<AFXCodedAppVersion> AFXAppLatestMajorVersion(const AFXCodedApp& app);

// The newest version (by identifier, then UI version) that runs on this
// system. When none does, none and the error of the newest version; an app
// without versions gives none and leaves the error untouched.
std::shared_ptr<AFXCodedAppVersion> AFXPickAppVersion(const AFXCodedApp& app,
                                                      platform::Error* error = nullptr);
// None when this system is not older than the version's minOSVersion (the
// maximum plays no part), else afx_incompatibleAppVersion.
std::optional<platform::Error> AFXVerifyVersionSupport(const AFXCodedApp& app,
                                                       const AFXCodedAppVersion& version);
// False, with afx_incompatibleInternalOSVersion, when the update needs a
// newer system than this one.
bool AFXVerifyInternalUpdateVersionSupport(const AFXCodedInternalUpdateResource& resource,
                                           platform::Error* error = nullptr);

// The app's first resource of the icon kind.
std::shared_ptr<AFXCodedAppIconResource> AFXGetAppIconResource(const AFXCodedApp& app);
// The app's first version with exactly this UI version.
std::shared_ptr<AFXCodedAppVersion> AFXAppVersionFind(const AFXCodedApp& app, const QString& uiVersion);

// Among the vendor install resources of `resources`: the first made for the
// version's identifier, else the one with the greatest version identifier
// (the first seen wins a tie).
std::shared_ptr<AFXCodedVendorInstallResource>
AFXVendorInstallResourceForVersion(const AFXCodedAppVersion& version,
                                   const QList<std::shared_ptr<AFXCodedAppResource>>& resources);
// Among the teaser install resources of `resources`: the one with the
// greatest teaser version (the first seen wins a tie).
std::shared_ptr<AFXCodedTeaserInstallResource>
AFXLatestTeaserInstallResourceFromResources(const QList<std::shared_ptr<AFXCodedAppResource>>& resources);
