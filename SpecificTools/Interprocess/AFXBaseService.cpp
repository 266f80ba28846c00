#include "AFXBaseService.h"

#include "support/BRAssertions.h"

AFXBaseService::AFXBaseService(const std::shared_ptr<AFXServiceID>& serviceID,
                               const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                               const QString& interprocessServiceName, const platform::Class* serviceIDClass)
    : serviceID_(serviceID), servicesFactory_(servicesFactory) {
    BRParameterAssertText(
        serviceID && serviceID->serviceName() == interprocessServiceName,
        "[NSObject isEqualObject:serviceID.serviceName toObject:[[self class] interprocessServiceName]]");
    BRParameterAssertText(serviceID->isKindOfClass(serviceIDClass),
                          "[serviceID isKindOfClass:[[self class] serviceIDClass]]");
    BRParameterAssertText(servicesFactory, "servicesFactory");
}
