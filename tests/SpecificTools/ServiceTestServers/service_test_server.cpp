// Serves one management service with its test server, for the service
// tests' clients in another process: `service_test_server NAME [ARGUMENT...]`
// with a name of ServedService. Prints "ready" once it owns the service's
// name, then a line for each note of the server ("seen TEXT", "stream
// UUID"). Takes commands on its standard input, a line each, answered
// "ok" or "refused":
//   control SWITCH ARGUMENT  sets a switch of the test server
//   serve test|base|foreign  hands the requests to the test server, the
//                            service's server base, or a service of
//                            another kind under the same name
//   answer CLASS             answers every request with an empty response of the class
//   refuse ARCHIVE           answers every request with the error (a keyed
//                            archive in base 64)
// It serves until its standard input ends.

#include "FixedResponseTestServer.h"
#include "ForeignTestServer.h"
#include "ServedService.h"
#include "SpecificTools/Interprocess/AFXRegularInterprocessServerAdaptor.h"
#include "SpecificTools/Services/AFXServicesFactory.h"
#include "platform/Class.h"
#include "platform/DispatchQueue.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/MainRunLoop.h"
#include "platform/ValueClasses.h"

#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// Writes whole lines from any thread.
void writeLine(const QString& line) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

// Plays the services factory on the serving side: every request goes to
// the one server, or is answered with the refusal while there is one.
class ServerDelegate : public AFXRegularInterprocessServerAdaptorDelegate {
public:
    void serveWith(std::shared_ptr<AFXBaseService> service) {
        std::lock_guard lock(mutex_);
        service_ = std::move(service);
        refusal_.reset();
        changed_.notify_all();
    }
    void refuseWith(const platform::Error& error) {
        std::lock_guard lock(mutex_);
        refusal_ = error;
    }
    std::shared_ptr<AFXBaseService> service() const {
        std::lock_guard lock(mutex_);
        return service_;
    }

    void regularInterprocessServerAdaptorPerformRequest(
        AFXRegularInterprocessServerAdaptor&, const std::shared_ptr<AFXInterprocessRequest>& request,
        AFXInterprocessReportHandler reportHandler, AFXInterprocessResponseHandler responseHandler) override {
        std::shared_ptr<AFXBaseService> service;
        std::optional<platform::Error> refusal;
        {
            // Requests come as soon as the adaptor owns the name, before
            // the first server, which needs the adaptor, exists.
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return service_ != nullptr; });
            service = service_;
            refusal = refusal_;
        }
        if (refusal) {
            responseHandler(BRAnyValueOrError::makeWithError(*refusal));
        } else {
            service->performRequest(request, std::move(reportHandler), std::move(responseHandler));
        }
    }
    void didEstablishConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor&,
                                                                  const QUuid&) override {}
    void didLooseConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor&,
                                                              const QUuid&) override {}

private:
    // Requests arrive on the transport's threads, commands on the reading thread.
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::shared_ptr<AFXBaseService> service_;
    std::optional<platform::Error> refusal_;
};

struct Serving {
    const ServedService& served;
    std::shared_ptr<AFXRegularInterprocessServerAdaptor> adaptor;
    std::shared_ptr<AFXServicesFactory> factory;
    std::shared_ptr<ServerDelegate> delegate;
    std::shared_ptr<AFXBaseService> testServer;

    bool perform(const QString& command, const QString& first, const QString& second) {
        if (command == u"control"_s) {
            return served.control && served.control(*testServer, first, second);
        }
        if (command == u"serve"_s) {
            if (first == u"test"_s) {
                delegate->serveWith(testServer);
            } else if (first == u"base"_s) {
                delegate->serveWith(served.makeServerBase(adaptor, factory));
            } else if (first == u"foreign"_s) {
                delegate->serveWith(std::make_shared<ForeignTestServer>(served.serviceID, adaptor, factory));
            } else {
                return false;
            }
            return true;
        }
        if (command == u"answer"_s) {
            const platform::Class* responseClass = platform::Class::named(first);
            const auto response =
                responseClass ? std::dynamic_pointer_cast<AFXInterprocessResponse>(responseClass->make())
                              : nullptr;
            if (!response) {
                return false;
            }
            delegate->serveWith(
                std::make_shared<FixedResponseTestServer>(served.serviceID, adaptor, factory, response));
            return true;
        }
        if (command == u"refuse"_s) {
            const auto error = platform::KeyedUnarchiver::unarchivedObjectOfClasses(
                {platform::ValueClasses::error()}, QByteArray::fromBase64(first.toLatin1()));
            if (!error || !error->toError()) {
                return false;
            }
            delegate->refuseWith(*error->toError());
            return true;
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const ServedService* served = ServedService::named(arguments.value(0));
    if (!served) {
        std::fprintf(stderr,
                     "usage: service_test_server system|apps|ui|remote-configuration|recommendations\n");
        return 2;
    }
    Serving serving{*served, nullptr,
                    AFXServicesFactory::makeWithServicesClasses({}, u"ServiceTestServer"_s, nullptr),
                    std::make_shared<ServerDelegate>(), nullptr};
    serving.adaptor = AFXRegularInterprocessServerAdaptor::makeWithServiceName(
        served->serviceID->serviceName(), served->requestClasses, serving.delegate);
    if (const auto& error = serving.adaptor->interprocessServer()->listeningError()) {
        std::fprintf(stderr, "cannot serve: %s\n", qPrintable(error->description()));
        return 1;
    }
    serving.testServer = served->makeTestServer(
        serving.adaptor, serving.factory,
        [](const QString& kind, const QString& text) { writeLine(kind + u' ' + text); }, arguments.mid(1));
    serving.delegate->serveWith(serving.testServer);
    writeLine(u"ready"_s);

    std::atomic<bool> inputEnded = false;
    std::thread commands([&] {
        std::string line;
        while (std::getline(std::cin, line)) {
            const QStringList words = QString::fromStdString(line).split(u' ');
            writeLine(serving.perform(words.value(0), words.value(1), words.value(2)) ? u"ok"_s
                                                                                      : u"refused"_s);
        }
        inputEnded = true;
        // Wakes the main run loop to see it.
        platform::DispatchQueue::main()->async([] {});
    });
    platform::MainRunLoop::runUntil([&] { return inputEnded.load(); });
    commands.join();
    return 0;
}
