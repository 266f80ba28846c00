#include "ServedService.h"

#include "AppsManagementTestServer.h"
#include "RecommendationsTestServer.h"
#include "RemoteConfigurationTestServer.h"
#include "SpecificTools/Interprocess/AFXCustomerServiceID.h"
#include "SpecificTools/Interprocess/AFXEnvironmentServiceID.h"
#include "SpecificTools/Interprocess/AFXGlobalServiceID.h"
#include "SpecificTools/Services/AppsManagement/AFXAppsManagementRequests.h"
#include "SpecificTools/Services/Recommendations/AFXRecommendationsRequests.h"
#include "SpecificTools/Services/RemoteConfiguration/AFXRemoteConfigurationRequests.h"
#include "SpecificTools/Services/SystemManagement/AFXSystemManagementRequests.h"
#include "SpecificTools/Services/UIManagement/AFXUIManagementRequests.h"
#include "SystemManagementTestServer.h"
#include "UIManagementTestServer.h"

#include <QHash>

using namespace Qt::StringLiterals;

namespace {

using Adaptor = std::shared_ptr<AFXRegularInterprocessServerAdaptor>;
using Factory = std::shared_ptr<AFXServicesFactory>;

// The service's server base, which offers nothing.
template <typename Server> ServedService::MakeServer serverBase(std::shared_ptr<AFXServiceID> serviceID) {
    return [serviceID](const Adaptor& adaptor, const Factory& factory) -> std::shared_ptr<AFXBaseService> {
        return Server::makeWithServiceID(serviceID, adaptor, factory, nullptr);
    };
}

QHash<QString, ServedService> makeServedServices() {
    QHash<QString, ServedService> services;
    const auto add = [&](ServedService service) { services.insert(service.name, std::move(service)); };

    const auto system = AFXGlobalServiceID::makeWithServiceName(AFXSystemManagementServiceName());
    add({u"system"_s, system, AFXSystemManagementRequestClasses(),
         [system](const Adaptor& adaptor, const Factory& factory, const ServiceTestNote& note,
                  const QStringList&) {
             return SystemManagementTestServer::make(system, adaptor, factory, note);
         },
         serverBase<AFXSystemManagementServer>(system),
         [](AFXBaseService& server, const QString& name, const QString& argument) {
             auto& testServer = dynamic_cast<SystemManagementTestServer&>(server);
             if (name == u"fail"_s) {
                 testServer.fails = argument == u"1"_s;
                 return true;
             }
             return false;
         }});

    const auto apps = AFXEnvironmentServiceID::makeWithServiceName(
        AFXAppsManagementService::interprocessServiceName(), AFXEnvironmentID::defaultEnvironmentID());
    add({u"apps"_s, apps, AFXAppsManagementRequestClasses(),
         [apps](const Adaptor& adaptor, const Factory& factory, const ServiceTestNote& note,
                const QStringList& arguments) {
             return AppsManagementTestServer::make(apps, adaptor, factory, note, arguments.value(0));
         },
         serverBase<AFXAppsManagementServer>(apps),
         [](AFXBaseService& server, const QString& name, const QString& argument) {
             auto& testServer = dynamic_cast<AppsManagementTestServer&>(server);
             if (name == u"fail"_s) {
                 testServer.failing = argument == u"1"_s;
                 return true;
             }
             if (name == u"hold"_s) {
                 testServer.holdAnswers = argument == u"1"_s;
                 return true;
             }
             return name == u"release"_s && testServer.releaseHeldAnswers(argument.toInt());
         }});

    const auto ui =
        AFXGlobalServiceID::makeWithServiceName(AFXUIManagementService::interprocessServiceName());
    add({u"ui"_s, ui, AFXUIManagementRequestClasses(),
         [ui](const Adaptor& adaptor, const Factory& factory, const ServiceTestNote& note,
              const QStringList&) { return UIManagementTestServer::make(ui, adaptor, factory, note); },
         serverBase<AFXUIManagementServer>(ui), nullptr});

    const auto configuration = AFXEnvironmentServiceID::makeWithServiceName(
        AFXRemoteConfigurationService::interprocessServiceName(), AFXEnvironmentID::defaultEnvironmentID());
    add({u"remote-configuration"_s, configuration, AFXRemoteConfigurationRequestClasses(),
         [configuration](const Adaptor& adaptor, const Factory& factory, const ServiceTestNote&,
                         const QStringList&) {
             return RemoteConfigurationTestServer::make(configuration, adaptor, factory);
         },
         serverBase<AFXRemoteConfigurationServer>(configuration), nullptr});

    const auto recommendations = AFXCustomerServiceID::makeWithServiceName(
        AFXRecommendationsService::interprocessServiceName(), UIManagementTestServer::customerID());
    add({u"recommendations"_s, recommendations, AFXRecommendationsRequestClasses(),
         [recommendations](const Adaptor& adaptor, const Factory& factory, const ServiceTestNote& note,
                           const QStringList&) {
             return RecommendationsTestServer::make(recommendations, adaptor, factory, note);
         },
         serverBase<AFXRecommendationsServer>(recommendations), nullptr});
    return services;
}

} // namespace

const ServedService* ServedService::named(const QString& name) {
    static const QHash<QString, ServedService> services = makeServedServices();
    const auto found = services.constFind(name);
    return found == services.cend() ? nullptr : &*found;
}
