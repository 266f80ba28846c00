#include "AFXRemoteConfigurationService.h"

#include "SpecificTools/Errors/AFXErrors.h"

void AFXRemoteConfigurationService::fetchRemoteConfigurationWithCallback(
    AFXRemoteConfigurationCallback callback) {
    callback(BRValueOrError<std::shared_ptr<AFXRemoteConfiguration>>::makeWithError(
        afx_makeErrorOfMissingServiceNamed(interprocessServiceName(),
                                           QStringLiteral("fetchRemoteConfigurationWithCallback"))));
}
