#pragma once

#include "AFXBaseService.h"
#include "AFXRegularInterprocessClientAdaptor.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Services/AFXServiceClass.h"

#include <QList>

#include <memory>

// The base of the client-side services: builds requests stamped with this
// process's tier and the service's ID, and sends them through the adaptor
// shared by all clients of the same service name.
class AFXRegularManagementClient : public AFXBaseService {
public:
    // The adaptor a concrete client class makes for its factory: its mach
    // name and request classes, the factory's tier name, the factory as delegate.
    static std::shared_ptr<AFXRegularInterprocessClientAdaptor>
    makeInterprocessAdaptorForServicesFactory(const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                                              const QString& interprocessServiceName,
                                              const QList<const platform::Class*>& requestClasses);

    // The class operations of a concrete client class, made with
    // `Client::makeWithServiceID(serviceID, servicesFactory, interprocessAdaptor)`.
    template <typename Client>
    static AFXServiceClass makeServiceClass(const QString& name, const QString& interprocessServiceName,
                                            const QList<const platform::Class*>& requestClasses) {
        return makeServiceClass(name, interprocessServiceName, requestClasses,
                                [](const std::shared_ptr<AFXServiceID>& serviceID,
                                   const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                                   const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& adaptor)
                                    -> std::shared_ptr<AFXBaseService> {
                                    return Client::makeWithServiceID(serviceID, servicesFactory, adaptor);
                                });
    }

    const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& interprocessAdaptor() const {
        return interprocessAdaptor_;
    }

    // A new request of one of the service's request classes (anything else
    // stops the process), or null when the factory no longer exists.
    std::shared_ptr<AFXInterprocessRequest> makeRequestOfClass(const platform::Class* requestClass) const;
    template <typename Request> std::shared_ptr<Request> makeRequest() const {
        return std::static_pointer_cast<Request>(makeRequestOfClass(Request::staticClass()));
    }

    void performRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                        AFXInterprocessReportHandler reportHandler,
                        AFXInterprocessResponseHandler responseHandler) override;

protected:
    // Sends a request without reports and hands over its response, or the
    // error. A request that could not be made (null: the factory is gone) is
    // answered with the missing-service error of `operation`; a reply that
    // holds no response of the class with the missing-object error.
    template <typename Response>
    void
    performRequestForResponse(const std::shared_ptr<AFXInterprocessRequest>& request,
                              const QString& operation,
                              std::function<void(const BRValueOrError<std::shared_ptr<Response>>&)> handler) {
        performRequestForResponseOfClass(request, operation, Response::staticClass(),
                                         [handler = std::move(handler)](const BRAnyValueOrError& outcome) {
                                             handler(outcome.liftValue([](const platform::Value& response) {
                                                 return response.toObject<Response>();
                                             }));
                                         });
    }

    // The response's field as the caller's result; a response without it
    // answers the missing-object error of `fieldName`.
    template <typename Response, typename T>
    static BRValueOrError<std::shared_ptr<T>>
    liftResponseField(const BRValueOrError<std::shared_ptr<Response>>& outcome,
                      std::shared_ptr<T> (Response::*field)() const, const QString& fieldName) {
        if (const auto* response = outcome.value()) {
            if (auto value = ((*response).get()->*field)()) {
                return BRValueOrError<std::shared_ptr<T>>::makeWithValue(std::move(value));
            }
            return BRValueOrError<std::shared_ptr<T>>::makeWithError(
                afx_makeErrorOfMissingObjectOfKind(fieldName));
        }
        return BRValueOrError<std::shared_ptr<T>>::makeWithError(*outcome.error());
    }

    AFXRegularManagementClient(
        const std::shared_ptr<AFXServiceID>& serviceID,
        const std::shared_ptr<AFXServicesFactory>& servicesFactory, const QString& interprocessServiceName,
        const platform::Class* serviceIDClass,
        const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& interprocessAdaptor);

private:
    // The outcome holds an object of `responseClass` when it holds a value.
    void performRequestForResponseOfClass(const std::shared_ptr<AFXInterprocessRequest>& request,
                                          const QString& operation, const platform::Class* responseClass,
                                          AFXInterprocessResponseHandler handler);

    using MakeClient = std::function<std::shared_ptr<AFXBaseService>(
        const std::shared_ptr<AFXServiceID>&, const std::shared_ptr<AFXServicesFactory>&,
        const std::shared_ptr<AFXRegularInterprocessClientAdaptor>&)>;
    static AFXServiceClass makeServiceClass(const QString& name, const QString& interprocessServiceName,
                                            const QList<const platform::Class*>& requestClasses,
                                            MakeClient makeClient);

    const std::shared_ptr<AFXRegularInterprocessClientAdaptor> interprocessAdaptor_;
};
