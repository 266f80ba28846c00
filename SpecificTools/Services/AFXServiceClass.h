#pragma once

#include "support/BRValueOrError.h"

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

    // The class's name, for messages.
    QString name;
    QString interprocessServiceName;
    // The one adaptor of the service's name in this process.
    std::function<std::shared_ptr<AFXInterprocessAdaptor>(const std::shared_ptr<AFXServicesFactory>&)>
        makeInterprocessAdaptorForServicesFactory;
    // Makes a service for the ID; answers once, on any queue.
    std::function<void(const std::shared_ptr<AFXServiceID>& serviceID,
                       const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                       const std::shared_ptr<AFXNetworkService>& networkService, MakeServiceCallback callback)>
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
};
