#include "FixedResponseTestServer.h"

FixedResponseTestServer::FixedResponseTestServer(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
    const std::shared_ptr<AFXServicesFactory>& factory, std::shared_ptr<AFXInterprocessResponse> response)
    : AFXRegularManagementServer(serviceID, adaptor, factory, serviceID->serviceName(),
                                 serviceID->objectClass()),
      response_(std::move(response)) {}

void FixedResponseTestServer::performRequest(const std::shared_ptr<AFXInterprocessRequest>&,
                                             AFXInterprocessReportHandler,
                                             AFXInterprocessResponseHandler responseHandler) {
    responseHandler(BRAnyValueOrError::makeWithValue(platform::Value(response_)));
}
