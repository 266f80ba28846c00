#include "AFXServiceClass.h"

#include "AFXServicesFactory.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Interprocess/AFXServiceID.h"

AFXServiceClass
AFXServiceClass::makeManagementServiceClass(const QString& name, const QString& interprocessServiceName,
                                            const QList<const platform::Class*>& requestClasses,
                                            MakeInterprocessAdaptorOfName makeInterprocessAdaptor,
                                            MakeServiceWithAdaptor makeService) {
    AFXServiceClass serviceClass;
    serviceClass.interprocessServiceName = interprocessServiceName;
    serviceClass.makeInterprocessAdaptorForServicesFactory =
        [interprocessServiceName, requestClasses,
         makeInterprocessAdaptor =
             std::move(makeInterprocessAdaptor)](const std::shared_ptr<AFXServicesFactory>& servicesFactory) {
            return makeInterprocessAdaptor(servicesFactory, interprocessServiceName, requestClasses);
        };
    return serviceClass.withMaker(name, std::move(makeService));
}

AFXServiceClass AFXServiceClass::withMaker(const QString& otherName,
                                           MakeServiceWithAdaptor makeService) const {
    AFXServiceClass serviceClass = *this;
    serviceClass.name = otherName;
    serviceClass.makeServiceWithID =
        [makeService = std::move(makeService)](const std::shared_ptr<AFXServiceID>& serviceID,
                                               const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                                               const std::shared_ptr<AFXNetworkService>& networkService,
                                               MakeServiceCallback callback) {
            std::weak_ptr<AFXServicesFactory> weakFactory = servicesFactory;
            servicesFactory->fetchInterpocessAdaptorForServiceNamed(
                serviceID->serviceName(),
                [serviceID, weakFactory, networkService, makeService, callback = std::move(callback)](
                    const BRValueOrError<std::shared_ptr<AFXInterprocessAdaptor>>& adaptorOrError) {
                    const auto factory = weakFactory.lock();
                    if (!factory) {
                        callback(BRValueOrError<std::shared_ptr<AFXBaseService>>::makeWithError(
                            afx_makeErrorOfMissingServiceNamed(QStringLiteral("self as AFXServicesFactory"),
                                                               QStringLiteral("make management service"))));
                        return;
                    }
                    callback(
                        adaptorOrError.liftValue([&](const std::shared_ptr<AFXInterprocessAdaptor>& adaptor) {
                            return makeService(serviceID, adaptor, factory, networkService);
                        }));
                });
        };
    return serviceClass;
}
