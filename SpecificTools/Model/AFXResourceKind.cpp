#include "AFXResourceKind.h"

std::optional<QString> AFXResourceKindGetDescription(std::int64_t kind) {
    switch (kind) {
    case AFXResourceKindUndefined:
        return QStringLiteral("undefined");
    case AFXResourceKindScreenshot:
        return QStringLiteral("screenshot");
    case AFXResourceKindTeaserAppInstall:
        return QStringLiteral("teaserAppInstall");
    case AFXResourceKindTeaserAppUpdate:
        return QStringLiteral("teaserAppUpdate");
    case AFXResourceKindVendorAppInstall:
        return QStringLiteral("vendorAppInstall");
    case AFXResourceKindVendorAppUpdate:
        return QStringLiteral("vendorAppUpdate");
    case AFXResourceKindInternalAppUpdate:
        return QStringLiteral("internalAppUpdate");
    case AFXResourceKindAppIcon:
        return QStringLiteral("appIcon");
    default:
        return std::nullopt;
    }
}

std::optional<QString> AFXResourceKindGetStatsdID(std::int64_t kind) {
    switch (kind) {
    case AFXResourceKindScreenshot:
        return QStringLiteral("screenshot");
    case AFXResourceKindTeaserAppInstall:
        return QStringLiteral("teaser_app");
    case AFXResourceKindTeaserAppUpdate:
        return QStringLiteral("teaser_app_update");
    case AFXResourceKindVendorAppInstall:
        return QStringLiteral("vendor_app");
    case AFXResourceKindVendorAppUpdate:
        return QStringLiteral("vendor_app_update");
    case AFXResourceKindInternalAppUpdate:
        return QStringLiteral("internal_update");
    case AFXResourceKindAppIcon:
        return QStringLiteral("app_icon");
    default:
        return std::nullopt;
    }
}
