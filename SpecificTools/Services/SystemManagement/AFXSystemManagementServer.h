#pragma once

#include "AFXSystemManagementService.h"
#include "SpecificTools/Interprocess/AFXRegularManagementServer.h"

#include <QList>
#include <QString>

#include <memory>

class AFXNetworkService;

// The serving side of the system management service. Each request runs its
// own dispatch onto this object; an operation that a serving process does
// not override answers as a service that does not offer it (see
// AFXSystemManagementService). A serving process subclasses it and
// overrides what it offers.
//
// The one service of its class in a process: its class makes it from
// start-up (a global service).
class AFXSystemManagementServer : public AFXRegularManagementServer, public AFXSystemManagementService {
public:
    static QString interprocessServiceName() { return AFXSystemManagementServiceName(); }
    static const platform::Class* serviceIDClass();
    static QList<const platform::Class*> requestClasses();
    static AFXServiceClass serviceClass();
    static std::shared_ptr<AFXSystemManagementServer>
    makeWithServiceID(const std::shared_ptr<AFXServiceID>& serviceID,
                      const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
                      const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                      const std::shared_ptr<AFXNetworkService>& networkService);

protected:
    AFXSystemManagementServer(const std::shared_ptr<AFXServiceID>& serviceID,
                              const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
                              const std::shared_ptr<AFXServicesFactory>& servicesFactory);
};
