#include "RemoteConfigurationTestServer.h"

#include "SpecificTools/Services/RemoteConfiguration/AFXLocalizationsContainer.h"
#include "SpecificTools/Services/RemoteConfiguration/AFXRemoteConfigurationRequests.h"

using namespace Qt::StringLiterals;
using platform::Value;

std::shared_ptr<RemoteConfigurationTestServer>
RemoteConfigurationTestServer::make(const std::shared_ptr<AFXServiceID>& serviceID,
                                    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
                                    const std::shared_ptr<AFXServicesFactory>& factory) {
    return std::shared_ptr<RemoteConfigurationTestServer>(
        new RemoteConfigurationTestServer(serviceID, adaptor, factory));
}

Value RemoteConfigurationTestServer::container(const QString& key, const Value::Dictionary& strings) {
    return Value(AFXLocalizationsContainer::makeWithKey(key, strings));
}

std::shared_ptr<AFXRemoteConfiguration> RemoteConfigurationTestServer::sampleConfiguration() {
    return AFXRemoteConfiguration::makeWithVersion(
        u"7"_s,
        {{u"localization_containers"_s,
          Value(Value::Array{container(u"greeting"_s, {{u"en"_s, u"Hello"_s}, {u"de"_s, u"Hallo"_s}})})},
         {u"should_show_referal_2.0_button"_s, 1}});
}

void RemoteConfigurationTestServer::fetchRemoteConfigurationWithCallback(
    AFXRemoteConfigurationCallback callback) {
    callback(BRValueOrError<std::shared_ptr<AFXRemoteConfiguration>>::makeWithValue(sampleConfiguration()));
}
