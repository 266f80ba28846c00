#pragma once

#include "ServedService.h"
#include "SpecificTools/Services/RemoteConfiguration/AFXRemoteConfigurationServer.h"

// Answers `sampleConfiguration`.
class RemoteConfigurationTestServer final : public AFXRemoteConfigurationServer {
public:
    static std::shared_ptr<RemoteConfigurationTestServer>
    make(const std::shared_ptr<AFXServiceID>& serviceID,
         const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
         const std::shared_ptr<AFXServicesFactory>& factory);

    // Version "7": a greeting in English and German, and the referral switch on.
    static std::shared_ptr<AFXRemoteConfiguration> sampleConfiguration();
    static platform::Value container(const QString& key, const platform::Value::Dictionary& strings);

    void fetchRemoteConfigurationWithCallback(AFXRemoteConfigurationCallback callback) override;

private:
    using AFXRemoteConfigurationServer::AFXRemoteConfigurationServer;
};
