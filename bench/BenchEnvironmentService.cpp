#include "BenchEnvironmentService.h"

#include "SpecificTools/Interprocess/AFXGlobalServiceID.h"
#include "SpecificTools/Model/AFXEndpointsManifest.h"

std::shared_ptr<BenchEnvironmentService>
BenchEnvironmentService::make(const QString& serviceName,
                              const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
                              const std::shared_ptr<AFXServicesFactory>& servicesFactory) {
    std::shared_ptr<BenchEnvironmentService> service(
        new BenchEnvironmentService(AFXGlobalServiceID::makeWithServiceName(serviceName), adaptor,
                                    servicesFactory, serviceName, AFXGlobalServiceID::staticClass()));
    auto manifest = AFXEndpointsManifest::make();
    manifest->setName(QStringLiteral("Production"));
    manifest->setOriginURL(QUrl(QStringLiteral("https://manifest.kestrel.invalid/endpoints.json")));
    service->environment_ = AFXEnvironment::makeWithIdentifier(
        AFXEnvironmentID::defaultEnvironmentID(), manifest, QUrl(QStringLiteral("file:///Applications")),
        QUrl(QStringLiteral("file:///var/lib/kestrel/persistent")),
        QUrl(QStringLiteral("file:///var/lib/kestrel/resources")),
        QUrl(QStringLiteral("file:///var/lib/kestrel/teasers")));
    return service;
}
