#include "KestrelServerClasses.h"

#include "KestrelAppsManagementServer.h"
#include "KestrelSystemManagementServer.h"
#include "SpecificTools/Services/Recommendations/AFXRecommendationsServer.h"
#include "SpecificTools/Services/RemoteConfiguration/AFXRemoteConfigurationServer.h"
#include "SpecificTools/Services/UIManagement/AFXUIManagementServer.h"

QList<AFXServiceClass> KestrelServerClasses() {
    return {
        KestrelSystemManagementServer::serviceClass(), KestrelAppsManagementServer::serviceClass(),
        AFXUIManagementServer::serviceClass(),         AFXRemoteConfigurationServer::serviceClass(),
        AFXRecommendationsServer::serviceClass(),
    };
}
