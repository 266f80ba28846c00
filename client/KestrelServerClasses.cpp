#include "KestrelServerClasses.h"

#include "KestrelSystemManagementServer.h"
#include "SpecificTools/Services/AppsManagement/AFXAppsManagementServer.h"
#include "SpecificTools/Services/Recommendations/AFXRecommendationsServer.h"
#include "SpecificTools/Services/RemoteConfiguration/AFXRemoteConfigurationServer.h"
#include "SpecificTools/Services/UIManagement/AFXUIManagementServer.h"

QList<AFXServiceClass> KestrelServerClasses() {
    return {
        KestrelSystemManagementServer::serviceClass(), AFXAppsManagementServer::serviceClass(),
        AFXUIManagementServer::serviceClass(),         AFXRemoteConfigurationServer::serviceClass(),
        AFXRecommendationsServer::serviceClass(),
    };
}
