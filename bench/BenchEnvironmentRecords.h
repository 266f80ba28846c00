#pragma once

// The request and response of the benchmarks' environment service, declared
// in the framework's compact record form: a request the size and shape of
// a client's "fetch the current environment", answered with a whole
// environment record.

#include "SpecificTools/Interprocess/AFXInterprocessRequest.h"
#include "SpecificTools/Model/AFXEnvironment.h"

class BenchEnvironmentResponse : public AFXInterprocessResponse {
    AFX_DECLARE_RECORD(BenchEnvironmentResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXEnvironment>, environment, setEnvironment)
};

// Answered with the serving environment service's current environment.
class BenchEnvironmentRequest : public AFXInterprocessRequest {
    AFX_DECLARE_RECORD(BenchEnvironmentRequest)
    AFX_RECORD_FIELD(bool, isUpdated, setIsUpdated)

public:
    const platform::Class* responseClass() const override { return BenchEnvironmentResponse::staticClass(); }
    void performOnService(AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
                          AFXInterprocessResponseHandler responseHandler) override;
};
