#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// What a resource is for; the values travel in records and metrics.
enum AFXResourceKind : std::int64_t {
    AFXResourceKindUndefined = 0,
    AFXResourceKindScreenshot = 1,
    AFXResourceKindTeaserAppInstall = 2,
    AFXResourceKindTeaserAppUpdate = 3,
    AFXResourceKindVendorAppInstall = 4,
    AFXResourceKindVendorAppUpdate = 5,
    AFXResourceKindInternalAppUpdate = 6,
    AFXResourceKindAppIcon = 7,
};

// "undefined", "screenshot", "teaserAppInstall", …; none for other values.
std::optional<QString> AFXResourceKindGetDescription(std::int64_t kind);
// The tag of downloads of the kind in metrics; none for undefined and other values.
std::optional<QString> AFXResourceKindGetStatsdID(std::int64_t kind);
