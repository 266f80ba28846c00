#pragma once

#include "support/BRValueOrError.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

class AFXBaseService;
class AFXCustomer;
class AFXEnvironment;
class AFXInterprocessAdaptor;
class AFXNetworkService;
class AFXServiceID;
class AFXServicesFactory;

namespace platform {
class Class;
} // namespace platform

// The class operations of a concrete service class: what a services factory
// asks of a class it was built with, before any service of it exists. Each
// concrete service class answers its one descriptor from a static
// `serviceClass()`, so a factory is built from classes that are linked in.
//
// The service roles are class operations too: a class takes a role by
// giving its operation, and its instances then implement the role's
// instance interface (AFXEnvironmentBasedService, AFXCustomerBasedService,
// AFXCustomerDependentService).
struct AFXServiceClass {
    using MakeServiceCallback = std::function<void(const BRValueOrError<std::shared_ptr<AFXBaseService>>&)>;
    using MakeInterprocessAdaptor =
        std::function<std::shared_ptr<AFXInterprocessAdaptor>(const std::shared_ptr<AFXServicesFactory>&)>;
    // The adaptor of a management service class (client or server side):
    // of its name, for its request classes.
    using MakeInterprocessAdaptorOfName = std::function<std::shared_ptr<AFXInterprocessAdaptor>(
        const std::shared_ptr<AFXServicesFactory>& servicesFactory, const QString& interprocessServiceName,
        const QList<const platform::Class*>& requestClasses)>;
    // Makes a management service (client or server side) from the
    // factory's adaptor of its name, which the maker takes as its side's.
    using MakeServiceWithAdaptor = std::function<std::shared_ptr<AFXBaseService>(
        const std::shared_ptr<AFXServiceID>& serviceID,
        const std::shared_ptr<AFXInterprocessAdaptor>& adaptor,
        const std::shared_ptr<AFXServicesFactory>& servicesFactory,
        const std::shared_ptr<AFXNetworkService>& networkService)>;

    // The class's name, for messages.
    QString name;
    QString interprocessServiceName;
    // The one adaptor of the service's name in this process.
    MakeInterprocessAdaptor makeInterprocessAdaptorForServicesFactory;
    // Makes a service for the ID; answers once, on any queue.
    std::function<void(const std::shared_ptr<AFXServiceID>& serviceID,
                       const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                       const std::shared_ptr<AFXNetworkService>& networkService,
                       MakeServiceCallback callback)>
        makeServiceWithID;

    // AFXGlobalService: the ID of the one service of the class that exists
    // from start-up, or null.
    std::function<std::shared_ptr<AFXServiceID>()> makeGlobalServiceIDToPoke;
    // AFXEnvironmentBasedService: the ID to make for a new environment, or null.
    std::function<std::shared_ptr<AFXServiceID>(const std::shared_ptr<AFXEnvironment>&)>
        makeServiceIDToPokeWithNewEnvironment;
    // AFXCustomerBasedService: the ID to make for a new customer, or null.
    std::function<std::shared_ptr<AFXServiceID>(const std::shared_ptr<AFXCustomer>&)>
        makeServiceIDToPokeWithNewCustomer;

    // The operations of a management service class that takes no role.
    static AFXServiceClass makeManagementServiceClass(const QString& name,
                                                      const QString& interprocessServiceName,
                                                      const QList<const platform::Class*>& requestClasses,
                                                      MakeInterprocessAdaptorOfName makeInterprocessAdaptor,
                                                      MakeServiceWithAdaptor makeService);
    // These operations under another name, making their services with
    // `makeService`: making one first fetches the factory's adaptor of the
    // service's name and answers its error, or the missing "self as
    // AFXServicesFactory" when the factory went away meanwhile.
    AFXServiceClass withMaker(const QString& otherName, MakeServiceWithAdaptor makeService) const;
    // These operations for `Service`, a subclass of the class they describe
    // that serves the same name and takes the same roles: its services are
    // made by its management base's `serviceMaker<Service>()`.
    template <typename Service> AFXServiceClass withMaker(const QString& otherName) const {
        return withMaker(otherName, Service::template serviceMaker<Service>());
    }
};
