#include "BenchEnvironmentRecords.h"

#include "BenchEnvironmentService.h"
#include "platform/ValueClasses.h"

AFX_DEFINE_RECORD(BenchEnvironmentResponse, AFXInterprocessResponse,
                  AFX_FIELD(environment, {AFXEnvironment::staticClass()}))
AFX_DEFINE_RECORD(BenchEnvironmentRequest, AFXInterprocessRequest,
                  AFX_FIELD(isUpdated, {platform::ValueClasses::number()}))

void BenchEnvironmentRequest::performOnService(AFXBaseService& service,
                                               AFXInterprocessReportHandler reportHandler,
                                               AFXInterprocessResponseHandler responseHandler) {
    auto callback = makeResponseCallback<std::shared_ptr<AFXEnvironment>>(
        reportHandler, std::move(responseHandler), [](const std::shared_ptr<AFXEnvironment>& environment) {
            auto response = BenchEnvironmentResponse::make();
            response->setEnvironment(environment);
            return response;
        });
    callback(BRValueOrError<std::shared_ptr<AFXEnvironment>>::makeWithValue(
        dynamic_cast<BenchEnvironmentService&>(service).currentEnvironment()));
}
