#pragma once

#include "support/BRValueOrError.h"

#include <QString>

#include <functional>
#include <memory>

class AFXEnvironment;
class AFXRemoteConfiguration;
class AFXServiceID;

using AFXRemoteConfigurationCallback =
    std::function<void(const BRValueOrError<std::shared_ptr<AFXRemoteConfiguration>>&)>;

// The desktop client's remote configuration service of one environment.
// The fetch's own form answers the missing-service error: a service
// overrides it when it offers it.
class AFXRemoteConfigurationService {
public:
    static QString interprocessServiceName() {
        return QStringLiteral("com.kestrel.RemoteConfigurationService");
    }
    // An environment-based service: the ID of the environment's service.
    static std::shared_ptr<AFXServiceID>
    makeServiceIDToPokeWithNewEnvironment(const std::shared_ptr<AFXEnvironment>& environment);

    virtual ~AFXRemoteConfigurationService() = default;

    virtual void fetchRemoteConfigurationWithCallback(AFXRemoteConfigurationCallback callback);
};
