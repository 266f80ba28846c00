#pragma once

#include "SpecificTools/Interprocess/AFXInterprocessResponse.h"
#include "SpecificTools/Interprocess/AFXRegularManagementServer.h"

// A serving side that answers every request with one response record,
// whatever the request asked for.
class FixedResponseTestServer final : public AFXRegularManagementServer {
public:
    FixedResponseTestServer(const std::shared_ptr<AFXServiceID>& serviceID,
                            const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
                            const std::shared_ptr<AFXServicesFactory>& factory,
                            std::shared_ptr<AFXInterprocessResponse> response);

    void performRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                        AFXInterprocessReportHandler reportHandler,
                        AFXInterprocessResponseHandler responseHandler) override;

private:
    const std::shared_ptr<AFXInterprocessResponse> response_;
};
