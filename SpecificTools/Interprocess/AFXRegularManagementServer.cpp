#include "AFXRegularManagementServer.h"

#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Services/AFXServicesFactory.h"
#include "support/BRAssertions.h"

std::shared_ptr<AFXRegularInterprocessServerAdaptor>
AFXRegularManagementServer::makeInterprocessAdaptorForServicesFactory(
    const std::shared_ptr<AFXServicesFactory>& servicesFactory, const QString& interprocessServiceName,
    const QList<const platform::Class*>& requestClasses) {
    return AFXRegularInterprocessServerAdaptor::makeWithServiceName(
        interprocessServiceName, requestClasses,
        std::dynamic_pointer_cast<AFXRegularInterprocessServerAdaptorDelegate>(servicesFactory));
}

AFXRegularManagementServer::AFXRegularManagementServer(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory, const QString& interprocessServiceName,
    const platform::Class* serviceIDClass)
    : AFXBaseService(serviceID, servicesFactory, interprocessServiceName, serviceIDClass),
      interprocessAdaptor_(interprocessAdaptor) {
    BRParameterAssertText(interprocessAdaptor, "interprocessAdaptor");
}

void AFXRegularManagementServer::performRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                                                AFXInterprocessReportHandler reportHandler,
                                                AFXInterprocessResponseHandler responseHandler) {
    // A request that declares no reports is served without a report
    // handler even when its sender opened a reporting stream for it, so a
    // peer cannot trip the request's own "no reports" check and stop the
    // serving process.
    request->performOnService(*this, request->reportClass() ? std::move(reportHandler) : nullptr,
                              std::move(responseHandler));
}
