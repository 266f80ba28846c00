#include "IPCTestService.h"

#include "IPCTestRecords.h"
#include "SpecificTools/Interprocess/AFXGlobalServiceID.h"
#include "SpecificTools/Model/AFXEndpointsManifest.h"

#include <unistd.h>

std::shared_ptr<IPCTestService>
IPCTestService::make(const std::shared_ptr<AFXServiceID>& serviceID,
                     const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
                     const std::shared_ptr<AFXServicesFactory>& servicesFactory) {
    std::shared_ptr<IPCTestService> service(new IPCTestService(
        serviceID, adaptor, servicesFactory, IPCTestServiceName(), AFXGlobalServiceID::staticClass()));
    auto manifest = AFXEndpointsManifest::make();
    manifest->setName(QStringLiteral("Test"));
    manifest->setOriginURL(QUrl(QStringLiteral("https://manifest.test/endpoints.json")));
    service->environment_ = AFXEnvironment::makeWithIdentifier(
        AFXEnvironmentID::defaultEnvironmentID(), manifest,
        QUrl(QStringLiteral("file:///Applications/Kestrel")), QUrl(QStringLiteral("file:///tmp/persistent")),
        QUrl(QStringLiteral("file:///tmp/resources")), QUrl(QStringLiteral("file:///tmp/teasers")));
    return service;
}

std::int64_t IPCTestService::processIdentifier() const {
    return ::getpid();
}

void IPCTestService::hold(const QString& holdKey, std::function<void()> answer) {
    std::lock_guard lock(mutex_);
    heldAnswers_[holdKey].append(std::move(answer));
}

void IPCTestService::release(const QString& holdKey,
                             std::function<void(const BRValueOrError<std::int64_t>&)> callback) {
    QList<std::function<void()>> answers;
    {
        std::lock_guard lock(mutex_);
        answers = heldAnswers_.take(holdKey);
    }
    for (const auto& answer : answers) {
        answer();
    }
    callback(BRValueOrError<std::int64_t>::makeWithValue(answers.size()));
}

void IPCTestService::vote(std::function<void(const BRValueOrError<bool>&)> callback) {
    interprocessAdaptor()->prepareForTerminationWithCallback([callback = std::move(callback)](bool agrees) {
        callback(BRValueOrError<bool>::makeWithValue(agrees));
    });
}

void IPCTestService::fetchCurrentEnvironmentUpdated(
    bool, std::function<void(const BRValueOrError<std::shared_ptr<AFXEnvironment>>&)> callback) {
    callback(BRValueOrError<std::shared_ptr<AFXEnvironment>>::makeWithValue(environment_));
}
