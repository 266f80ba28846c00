#include "AFXRegularManagementClient.h"

#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Services/AFXServicesFactory.h"
#include "platform/DispatchQueue.h"
#include "support/BRAssertions.h"
#include "support/BRLog.h"

std::shared_ptr<AFXRegularInterprocessClientAdaptor>
AFXRegularManagementClient::makeInterprocessAdaptorForServicesFactory(
    const std::shared_ptr<AFXServicesFactory>& servicesFactory, const QString& interprocessServiceName,
    const QList<const platform::Class*>& requestClasses) {
    return AFXRegularInterprocessClientAdaptor::makeWithServiceName(
        interprocessServiceName, servicesFactory->tierName(), requestClasses,
        std::dynamic_pointer_cast<AFXRegularInterprocessClientAdaptorDelegate>(servicesFactory));
}

AFXRegularManagementClient::AFXRegularManagementClient(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory, const QString& interprocessServiceName,
    const platform::Class* serviceIDClass,
    const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& interprocessAdaptor)
    : AFXBaseService(serviceID, servicesFactory, interprocessServiceName, serviceIDClass),
      interprocessAdaptor_(interprocessAdaptor) {
    BRParameterAssertText(interprocessAdaptor, "interprocessAdaptor");
}

std::shared_ptr<AFXInterprocessRequest>
AFXRegularManagementClient::makeRequestOfClass(const platform::Class* requestClass) const {
    BRParameterAssertText(interprocessAdaptor_->requestClasses().contains(requestClass),
                          "[self.class.requestClasses containsObject:requestClass]");
    const auto factory = servicesFactory();
    if (!factory) {
        BRLogError(
            "Did fail to make request of class %@ for %@ because services factory does not exist any more",
            requestClass->name(), platform::Value(serviceID()));
        return nullptr;
    }
    auto request = std::dynamic_pointer_cast<AFXInterprocessRequest>(requestClass->make());
    request->setRequestingTierName(factory->tierName());
    request->setServiceID(serviceID());
    return request;
}

void AFXRegularManagementClient::performRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                                                AFXInterprocessReportHandler reportHandler,
                                                AFXInterprocessResponseHandler responseHandler) {
    BRParameterAssertText(request && !request->requestingTierName().isNull(), "request.requestingTierName");
    BRParameterAssertText(request->serviceID(), "request.serviceID");
    interprocessAdaptor_->performRequest(request, std::move(reportHandler), std::move(responseHandler));
}

void AFXRegularManagementClient::performRequestForResponse(
    const std::shared_ptr<AFXInterprocessRequest>& request, const platform::Class* requestClass,
    AFXInterprocessReportHandler reportHandler, AFXInterprocessResponseHandler handler) {
    if (!request) {
        const platform::Error error =
            afx_makeErrorOfMissingServiceNamed(QStringLiteral("services factory"), requestClass->name());
        platform::DispatchQueue::global(platform::QualityOfService::Utility)
            ->async(
                [handler = std::move(handler), error] { handler(BRAnyValueOrError::makeWithError(error)); });
        return;
    }
    performRequest(
        request, std::move(reportHandler),
        [handler = std::move(handler), requestClass,
         responseClass = request->responseClass()](const BRAnyValueOrError& outcome) {
            const platform::Value* response = outcome.value();
            const auto object = response ? response->toObject() : nullptr;
            if (response && !(object && object->objectClass()->isSubclassOf(responseClass))) {
                handler(BRAnyValueOrError::makeWithError(
                    afx_makeServerResponseParsingErrorOnOperation(requestClass->name(), std::nullopt)));
                return;
            }
            handler(outcome);
        });
}
