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
#include <condition_variable>
#include <cstdio>
#include <mutex>

namespace {

// Plays the services factory: every request goes to the one test service.
class TestServerDelegate : public AFXRegularInterprocessServerAdaptorDelegate {
public:
    void setService(std::shared_ptr<IPCTestService> service) {
        std::lock_guard lock(mutex_);
        service_ = std::move(service);
        made_.notify_all();
    }

    void regularInterprocessServerAdaptorPerformRequest(
        AFXRegularInterprocessServerAdaptor&, const std::shared_ptr<AFXInterprocessRequest>& request,
        AFXInterprocessReportHandler reportHandler, AFXInterprocessResponseHandler responseHandler) override {
        service()->performRequest(request, std::move(reportHandler), std::move(responseHandler));
    }
    void didEstablishConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor&,
                                                                  const QUuid& streamID) override {
        std::fprintf(stderr, "stream established %s\n", qPrintable(streamID.toString()));
    }
    void didLooseConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor&,
                                                              const QUuid& streamID) override {
        std::fprintf(stderr, "stream lost %s\n", qPrintable(streamID.toString()));
    }

private:
    // Requests come as soon as the adaptor owns the name, before the
    // service, which needs the adaptor, exists: they wait for it.
    std::shared_ptr<IPCTestService> service() {
        std::unique_lock lock(mutex_);
        made_.wait(lock, [this] { return service_ != nullptr; });
        return service_;
    }

    std::mutex mutex_;
    std::condition_variable made_;
    std::shared_ptr<IPCTestService> service_;
};

} // namespace

int main(int argc, char** argv) {
    const bool waitForName = argc > 1 && QByteArray(argv[1]) == "--wait-for-name";
    const auto delegate = std::make_shared<TestServerDelegate>();
    const auto factory =
        AFXServicesFactory::makeWithServicesClasses({}, QStringLiteral("IPCTestServer"), nullptr);
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
    delegate->setService(IPCTestService::make(AFXGlobalServiceID::makeWithServiceName(IPCTestServiceName()),
                                              adaptor, factory));
    std::printf("ready\n");
    std::fflush(stdout);
    platform::MainRunLoop::runUntil([] { return false; });
    return 0;
}
