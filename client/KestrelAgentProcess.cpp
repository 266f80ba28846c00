#include "KestrelAgentProcess.h"

#include "KestrelServerClasses.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Interprocess/AFXRegularInterprocessServerAdaptor.h"
#include "SpecificTools/Services/AFXServicesFactory.h"
#include "VendorAppInstallation.h"
#include "platform/DispatchQueue.h"
#include "platform/MainRunLoop.h"
#include "platform/Paths.h"
#include "platform/SignalWatcher.h"
#include "platform/XPCListener.h"
#include "support/AFXSetupLogger.h"
#include "support/BRLog.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <csignal>

namespace {

// How long a stop waits for the app installations it takes back.
constexpr auto kStopGrace = std::chrono::seconds(4);

enum class Claim { Owned, TakenByAnother, Failed };

// Whether the factory's adaptor for the name owns it. The answer hops to
// the main queue, where the loop waiting for it runs, so that it ends the
// wait as soon as it lands; its fields live there.
Claim claimOf(AFXServicesFactory& factory, const QString& serviceName, QString* problem) {
    struct Answer {
        bool came = false;
        std::optional<platform::Error> error;
    };
    const auto answer = std::make_shared<Answer>();
    factory.fetchInterpocessAdaptorForServiceNamed(
        serviceName, [answer](const BRValueOrError<std::shared_ptr<AFXInterprocessAdaptor>>& adaptor) {
            const auto server =
                adaptor.hasValue()
                    ? std::dynamic_pointer_cast<AFXRegularInterprocessServerAdaptor>(*adaptor.value())
                    : nullptr;
            const std::optional<platform::Error> error =
                server ? server->interprocessServer()->listeningError()
                       : adaptor.error().value_or(
                             afx_makeErrorOfMissingObjectOfKind(QStringLiteral("server adaptor")));
            platform::DispatchQueue::main()->async([answer, error] {
                answer->error = error;
                answer->came = true;
            });
        });
    if (!platform::MainRunLoop::runUntil([&] { return answer->came; }, std::chrono::seconds(10))) {
        *problem = QStringLiteral("the services factory did not answer for %1").arg(serviceName);
        return Claim::Failed;
    }
    if (!answer->error) {
        return Claim::Owned;
    }
    if (answer->error->domain() == platform::XPCListener::ErrorDomain &&
        answer->error->code() == platform::XPCListener::NameTakenError) {
        return Claim::TakenByAnother;
    }
    *problem = QStringLiteral("cannot serve %1: %2").arg(serviceName, answer->error->localizedDescription());
    return Claim::Failed;
}

// An agent the bus started for names whose service files are all gone
// was unloaded while it came up: `launchctl unload` removes the files,
// then ends whatever serves the names, and this one may have come to
// serve them only after it looked. Asked once the names are ours, so that
// one of the two always sees the other. An agent started otherwise (not
// by the bus) has no service files to go by.
bool wasUnloadedWhileStarting(const QList<AFXServiceClass>& classes) {
    if (!qEnvironmentVariableIsSet("DBUS_STARTER_BUS_TYPE")) {
        return false;
    }
    return std::none_of(classes.begin(), classes.end(), [](const AFXServiceClass& serviceClass) {
        const std::optional<QString> file =
            platform::Paths::busServiceFilePath(serviceClass.interprocessServiceName);
        return file && QFile::exists(*file);
    });
}

} // namespace

int KestrelAgentProcess::run(std::FILE* errors) {
    AFXSetupLogger(QStringLiteral("KestrelAgent"));
    const QList<AFXServiceClass> classes = KestrelServerClasses();
    const auto factory =
        AFXServicesFactory::makeWithServicesClasses(classes, QString::fromLatin1(TierName), nullptr);
    for (const AFXServiceClass& serviceClass : classes) {
        QString problem;
        switch (claimOf(*factory, serviceClass.interprocessServiceName, &problem)) {
        case Claim::Owned:
            break;
        case Claim::TakenByAnother:
            BRLogInfo("Another agent serves %@ already; this one leaves",
                      serviceClass.interprocessServiceName);
            return 0;
        case Claim::Failed:
            std::fprintf(errors, "Kestrel: %s\n", qUtf8Printable(problem));
            return 1;
        }
    }
    if (wasUnloadedWhileStarting(classes)) {
        BRLogInfo("The launch agent was unloaded while it started; this one leaves");
        return 0;
    }
    BRLogInfo("Serving the desktop client's services");
    // The environment is fetched at once, so that the first caller rarely
    // waits for it; only the instance that serves does so.
    factory->fetchCurrentEnvironmentUpdated(false, [](const auto&) {});
    platform::SignalWatcher stops({SIGINT, SIGTERM}, [](int signal) {
        BRLogInfo("Stopping on signal %@", platform::Value(static_cast<std::int64_t>(signal)));
        // An app installation under way is taken back first, so that neither
        // its download nor a half-placed copy outlives the agent; launchctl
        // gives a stopping agent a few seconds before it kills it.
        VendorAppInstallation::stopAll(platform::DispatchQueue::main(), [] { QCoreApplication::quit(); });
        platform::DispatchQueue::main()->after(kStopGrace, [] { QCoreApplication::quit(); });
    });
    return QCoreApplication::exec();
}
