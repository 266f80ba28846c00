// Serves the interprocess test service under its mach name until it is
// killed. Prints "ready" once it owns the name. With --wait-for-name it
// keeps trying to claim a name that another server still owns.

#include "IPCTestRecords.h"
#include "IPCTestService.h"
#include "SpecificTools/Interprocess/AFXGlobalServiceID.h"
#include "SpecificTools/Interprocess/AFXRegularInterprocessServerAdaptor.h"
#include "SpecificTools/Services/AFXServicesFactory.h"
#include "platform/MainRunLoop.h"
#include "platform/XPCListener.h"

#include <QStringList>

#include <chrono>
#include <cstdio>

namespace {

// Plays the services factory: every request goes to the one test service.
class TestServerDelegate : public AFXRegularInterprocessServerAdaptorDelegate {
public:
    std::shared_ptr<IPCTestService> service;

    void regularInterprocessServerAdaptorPerformRequest(
        AFXRegularInterprocessServerAdaptor&, const std::shared_ptr<AFXInterprocessRequest>& request,
        AFXInterprocessReportHandler reportHandler, AFXInterprocessResponseHandler responseHandler) override {
        service->performRequest(request, std::move(reportHandler), std::move(responseHandler));
    }
    void didEstablishConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor&,
                                                                  const QUuid& streamID) override {
        std::fprintf(stderr, "stream established %s\n", qPrintable(streamID.toString()));
    }
    void didLooseConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor&,
                                                              const QUuid& streamID) override {
        std::fprintf(stderr, "stream lost %s\n", qPrintable(streamID.toString()));
    }
};

} // namespace

int main(int argc, char** argv) {
    const bool waitForName = argc > 1 && QByteArray(argv[1]) == "--wait-for-name";
    const auto delegate = std::make_shared<TestServerDelegate>();
    std::shared_ptr<AFXRegularInterprocessServerAdaptor> adaptor;
    for (;;) {
        adaptor = AFXRegularInterprocessServerAdaptor::makeWithServiceName(
            IPCTestServiceName(), IPCTestServedRequestClasses(), delegate);
        const auto& error = adaptor->interprocessServer()->listeningError();
        if (!error) {
            break;
        }
        if (!waitForName || error->code() != platform::XPCListener::NameTakenError) {
            std::fprintf(stderr, "cannot serve: %s\n", qPrintable(error->description()));
            return 1;
        }
        platform::MainRunLoop::runFor(std::chrono::milliseconds(20));
    }
    const auto factory =
        AFXServicesFactory::makeWithServicesClasses({}, QStringLiteral("IPCTestServer"), nullptr);
    delegate->service =
        IPCTestService::make(AFXGlobalServiceID::makeWithServiceName(IPCTestServiceName()), adaptor, factory);
    std::printf("ready\n");
    std::fflush(stdout);
    platform::MainRunLoop::runUntil([] { return false; });
    return 0;
}
