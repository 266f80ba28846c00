#pragma once

#include "AFXBaseService.h"
#include "AFXRegularInterprocessClientAdaptor.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Services/AFXServiceClass.h"
#include "support/BRAssertions.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

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
        return AFXServiceClass::makeManagementServiceClass(name, interprocessServiceName, requestClasses,
                                                           &makeInterprocessAdaptorForServicesFactory,
                                                           serviceMaker<Client>());
    }
    // How a services factory makes a `Client` from the adaptor of its name.
    template <typename Client> static AFXServiceClass::MakeServiceWithAdaptor serviceMaker() {
        return [](const std::shared_ptr<AFXServiceID>& serviceID,
                  const std::shared_ptr<AFXInterprocessAdaptor>& adaptor,
                  const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                  const std::shared_ptr<AFXNetworkService>&) -> std::shared_ptr<AFXBaseService> {
            return Client::makeWithServiceID(
                serviceID, servicesFactory,
                std::dynamic_pointer_cast<AFXRegularInterprocessClientAdaptor>(adaptor));
        };
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
    // The request forms of the concrete clients. Each makes a request of the
    // class, lets `fill` (when given) set its fields, sends it and turns the
    // one outcome into the callback's form. When no request can be made (the
    // factory is gone) the callback receives, on a utility queue, the
    // missing-service error of the services factory. A reply holding
    // anything but a response of the request's response class is a response
    // the client cannot parse: it answers the server-response parsing error.
    template <typename Request> using Fill = std::function<void(Request&)>;

    // The response, or the error. `reportHandler` is the one the transport
    // calls for each report (see `forwardReports`).
    template <typename Request, typename Response>
    void sendForResponse(const Fill<Request>& fill,
                         std::function<void(const BRValueOrError<std::shared_ptr<Response>>&)> handler,
                         AFXInterprocessReportHandler reportHandler = nullptr) {
        sendForOutcome<Request>(fill, std::move(reportHandler),
                                [handler = std::move(handler)](const BRAnyValueOrError& outcome) {
                                    handler(outcome.liftValue([](const platform::Value& value) {
                                        auto response = value.toObject<Response>();
                                        BRParameterAssertText(response, "[response isKindOfClass:Response]");
                                        return response;
                                    }));
                                });
    }

    // The response's field as the callback's value, or the error. A
    // response without the field (a null object or string) answers the
    // missing-object error of `fieldName`: a value callback never receives
    // nothing.
    template <typename Request, typename Response, typename T>
    void sendForValue(const Fill<Request>& fill, T (Response::*field)() const, const QString& fieldName,
                      std::type_identity_t<std::function<void(const BRValueOrError<T>&)>> callback,
                      AFXInterprocessReportHandler reportHandler = nullptr) {
        sendForResponse<Request, Response>(
            fill,
            [field, fieldName,
             callback = std::move(callback)](const BRValueOrError<std::shared_ptr<Response>>& outcome) {
                const auto* response = outcome.value();
                if (!response) {
                    callback(BRValueOrError<T>::makeWithError(*outcome.error()));
                    return;
                }
                T value = ((**response).*field)();
                callback(isAbsent(value)
                             ? BRValueOrError<T>::makeWithError(afx_makeErrorOfMissingObjectOfKind(fieldName))
                             : BRValueOrError<T>::makeWithValue(std::move(value)));
            },
            std::move(reportHandler));
    }

    // The response's boolean, or `failureValue` when there is no response.
    template <typename Request, typename Response>
    void sendForBoolean(const Fill<Request>& fill, bool (Response::*field)() const, bool failureValue,
                        std::function<void(bool)> callback) {
        sendForResponse<Request, Response>(fill,
                                           [field, failureValue, callback = std::move(callback)](
                                               const BRValueOrError<std::shared_ptr<Response>>& outcome) {
                                               const auto* response = outcome.value();
                                               callback(response ? ((**response).*field)() : failureValue);
                                           });
    }

    // The error, or nothing on success.
    template <typename Request>
    void sendForError(const Fill<Request>& fill,
                      std::function<void(const std::optional<platform::Error>&)> callback) {
        sendForOutcome<Request>(fill, nullptr,
                                [callback = std::move(callback)](const BRAnyValueOrError& outcome) {
                                    callback(outcome.error());
                                });
    }

    // Calls back once the request was answered, whatever the answer.
    template <typename Request>
    void sendForCompletion(const Fill<Request>& fill, std::function<void()> callback) {
        sendForOutcome<Request>(fill, nullptr,
                                [callback = std::move(callback)](const BRAnyValueOrError&) { callback(); });
    }

    // Sends the request and lets its answer go.
    template <typename Request> void sendIgnoringOutcome(const Fill<Request>& fill) {
        sendForOutcome<Request>(fill, nullptr, [](const BRAnyValueOrError&) {});
    }

    // The transport's report handler for a reporting request: each report,
    // which must be of the request's report class, goes to `forward`, or is
    // dropped when the caller gave no handler.
    template <typename Report, typename Handler>
    static AFXInterprocessReportHandler
    forwardReports(Handler handler, std::function<void(const Handler&, const Report&)> forward) {
        return [handler = std::move(handler),
                forward = std::move(forward)](const std::shared_ptr<AFXInterprocessReport>& report) {
            const auto typed = std::dynamic_pointer_cast<Report>(report);
            BRParameterAssertText(typed, "[report isKindOfClass:reportClass]");
            if (handler) {
                forward(handler, *typed);
            }
        };
    }

    AFXRegularManagementClient(
        const std::shared_ptr<AFXServiceID>& serviceID,
        const std::shared_ptr<AFXServicesFactory>& servicesFactory, const QString& interprocessServiceName,
        const platform::Class* serviceIDClass,
        const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& interprocessAdaptor);

private:
    template <typename Request>
    void sendForOutcome(const Fill<Request>& fill, AFXInterprocessReportHandler reportHandler,
                        AFXInterprocessResponseHandler handler) {
        const auto request = makeRequest<Request>();
        if (request && fill) {
            fill(*request);
        }
        performRequestForResponse(request, Request::staticClass(), std::move(reportHandler),
                                  std::move(handler));
    }

    // The handler receives the error, or a value that is an object of the
    // request's response class. A null request (of `requestClass`) is
    // answered with the missing-service error.
    void performRequestForResponse(const std::shared_ptr<AFXInterprocessRequest>& request,
                                   const platform::Class* requestClass,
                                   AFXInterprocessReportHandler reportHandler,
                                   AFXInterprocessResponseHandler handler);

    // Whether a response's field counts as absent: a null object or string.
    template <typename T> static bool isAbsent(const T& value) {
        if constexpr (std::is_same_v<T, QString>) {
            return value.isNull();
        } else if constexpr (requires(const T& v) {
                                 v.get();
                                 static_cast<bool>(v);
                             }) {
            return !value;
        } else {
            return false;
        }
    }

    const std::shared_ptr<AFXRegularInterprocessClientAdaptor> interprocessAdaptor_;
};
