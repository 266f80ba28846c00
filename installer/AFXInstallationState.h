#pragma once

#include <cstdint>

// Where one installation stands; the values are what progress reports carry.
enum AFXInstallationState : std::int64_t {
    AFXInstallationStateIdle = 0,
    AFXInstallationStateDownloading = 1,
    AFXInstallationStateDownloadFailed = 2,
    AFXInstallationStateDownloaded = 3,
    AFXInstallationStateClientLaunched = 4,
    AFXInstallationStateServicesFailed = 5,
    AFXInstallationStateInstallingApp = 6,
    AFXInstallationStateAppInstallationFailed = 7,
    AFXInstallationStatePreparingResources = 8,
    AFXInstallationStateReady = 9,
};
