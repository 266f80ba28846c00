#include "IPCTestRecords.h"

#include "IPCTestService.h"
#include "platform/ValueClasses.h"

using platform::ValueClasses::number;
using platform::ValueClasses::string;
using platform::ValueClasses::uuid;

AFX_DEFINE_RECORD(IPCTestProgressReport, AFXInterprocessReport, AFX_FIELD(index, {number()}))
AFX_DEFINE_RECORD(IPCTestEchoResponse, AFXInterprocessResponse, AFX_FIELD(text, {string()}),
                  AFX_FIELD(reportStreamID, {uuid()}), AFX_FIELD(reportSessionID, {uuid()}),
                  AFX_FIELD(processIdentifier, {number()}))
AFX_DEFINE_RECORD(IPCTestEchoRequest, AFXInterprocessRequest, AFX_FIELD(text, {string()}),
                  AFX_FIELD(reportCount, {number()}), AFX_FIELD(holdKey, {string()}))
AFX_DEFINE_RECORD(IPCTestCountResponse, AFXInterprocessResponse, AFX_FIELD(count, {number()}))
AFX_DEFINE_RECORD(IPCTestReleaseRequest, AFXInterprocessRequest, AFX_FIELD(holdKey, {string()}))
AFX_DEFINE_RECORD(IPCTestVoteResponse, AFXInterprocessResponse, AFX_FIELD(agrees, {number()}))
AFX_DEFINE_RECORD(IPCTestVoteRequest, AFXInterprocessRequest)
AFX_DEFINE_RECORD(IPCTestEnvironmentResponse, AFXInterprocessResponse,
                  AFX_FIELD(environment, {AFXEnvironment::staticClass()}))
AFX_DEFINE_RECORD(IPCTestEnvironmentRequest, AFXInterprocessRequest, AFX_FIELD(isUpdated, {number()}))
AFX_DEFINE_RECORD(IPCTestUnlistedRequest, AFXInterprocessRequest)

QList<const platform::Class*> IPCTestServedRequestClasses() {
    return {IPCTestEchoRequest::staticClass(), IPCTestReleaseRequest::staticClass(),
            IPCTestVoteRequest::staticClass(), IPCTestEnvironmentRequest::staticClass()};
}

void IPCTestEchoRequest::performOnService(AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
                                          AFXInterprocessResponseHandler responseHandler) {
    auto& testService = dynamic_cast<IPCTestService&>(service);
    for (std::int64_t index = 0; reportHandler && index < reportCount(); ++index) {
        auto report = IPCTestProgressReport::make();
        report->setIndex(index);
        reportHandler(report);
    }
    auto response = IPCTestEchoResponse::make();
    response->setText(text());
    response->setReportStreamID(reportStreamID());
    response->setReportSessionID(reportSessionID());
    response->setProcessIdentifier(testService.processIdentifier());
    const BRAnyValueOrError outcome = BRAnyValueOrError::makeWithValue(platform::Value(response));
    if (holdKey().isEmpty()) {
        responseHandler(outcome);
    } else {
        testService.hold(holdKey(), [responseHandler, outcome] { responseHandler(outcome); });
    }
}

void IPCTestReleaseRequest::performOnService(AFXBaseService& service,
                                             AFXInterprocessReportHandler reportHandler,
                                             AFXInterprocessResponseHandler responseHandler) {
    dynamic_cast<IPCTestService&>(service).release(
        holdKey(),
        makeResponseCallback<std::int64_t>(reportHandler, std::move(responseHandler), [](std::int64_t count) {
            auto response = IPCTestCountResponse::make();
            response->setCount(count);
            return response;
        }));
}

void IPCTestVoteRequest::performOnService(AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
                                          AFXInterprocessResponseHandler responseHandler) {
    dynamic_cast<IPCTestService&>(service).vote(
        makeResponseCallback<bool>(reportHandler, std::move(responseHandler), [](bool agrees) {
            auto response = IPCTestVoteResponse::make();
            response->setAgrees(agrees);
            return response;
        }));
}

void IPCTestEnvironmentRequest::performOnService(AFXBaseService& service,
                                                 AFXInterprocessReportHandler reportHandler,
                                                 AFXInterprocessResponseHandler responseHandler) {
    dynamic_cast<IPCTestService&>(service).fetchCurrentEnvironmentUpdated(
        isUpdated(), makeResponseCallback<std::shared_ptr<AFXEnvironment>>(
                         reportHandler, std::move(responseHandler),
                         [](const std::shared_ptr<AFXEnvironment>& environment) {
                             auto response = IPCTestEnvironmentResponse::make();
                             response->setEnvironment(environment);
                             return response;
                         }));
}
