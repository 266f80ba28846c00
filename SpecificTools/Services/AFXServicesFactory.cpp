#include "AFXServicesFactory.h"

#include "SpecificTools/Errors/AFXErrors.h"
#include "SystemManagement/AFXSystemManagementService.h"
#include "platform/DispatchQueue.h"

namespace {

const QString kSystemManagementServiceName = QStringLiteral("com.kestrel.SystemManagementService");
const QString kAppsManagementServiceName = QStringLiteral("com.kestrel.AppsManagementService");

template <typename Result>
void answerMissingService(std::function<void(const Result&)> callback, const QString& serviceName) {
    platform::DispatchQueue::global(platform::QualityOfService::Utility)
        ->async([callback = std::move(callback), serviceName] {
            callback(Result::makeWithError(
                afx_makeErrorOfMissingServiceNamed(serviceName, QStringLiteral("make management service"))));
        });
}

} // namespace

AFXServicesFactory::AFXServicesFactory(QStringList servicesClasses, QString tierName,
                                       const std::shared_ptr<AFXServicesFactoryDelegate>& delegate)
    : servicesClasses_(std::move(servicesClasses)), tierName_(std::move(tierName)), delegate_(delegate) {}

std::shared_ptr<AFXServicesFactory>
AFXServicesFactory::makeWithServicesClasses(const QStringList& servicesClasses, const QString& tierName,
                                            const std::shared_ptr<AFXServicesFactoryDelegate>& delegate) {
    return std::shared_ptr<AFXServicesFactory>(new AFXServicesFactory(servicesClasses, tierName, delegate));
}

void AFXServicesFactory::fetchSystemManagementServiceWithCallback(
    AFXSystemManagementServiceCallback callback) {
    answerMissingService(std::move(callback), kSystemManagementServiceName);
}

void AFXServicesFactory::fetchAppsManagementServiceForEnvironmentID(
    const std::shared_ptr<AFXEnvironmentID>&, AFXAppsManagementServiceCallback callback) {
    answerMissingService(std::move(callback), kAppsManagementServiceName);
}

void AFXServicesFactory::fetchInterpocessAdaptorForServiceNamed(const QString& serviceName,
                                                                AFXInterprocessAdaptorCallback callback) {
    callback(BRValueOrError<std::shared_ptr<AFXInterprocessAdaptor>>::makeWithError(
        afx_makeErrorOfMissingServiceNamed(QStringLiteral("interprocess adaptor for %1").arg(serviceName),
                                           QStringLiteral("sending interprocess messages"))));
}

void AFXServicesFactory::fetchCurrentEnvironmentUpdated(bool updated, AFXEnvironmentCallback callback) {
    fetchSystemManagementServiceWithCallback([updated, callback = std::move(callback)](const auto& result) {
        result.onValue([&](const std::shared_ptr<AFXSystemManagementService>& service) {
            service->fetchCurrentEnvironmentUpdated(updated, callback);
        });
        result.onError([&](const platform::Error& error) {
            callback(BRValueOrError<std::shared_ptr<AFXEnvironment>>::makeWithError(error));
        });
    });
}

void AFXServicesFactory::fetchCurrentCustomerUpdated(
    bool updated, bool canDestroyInvalidCustomer,
    const std::shared_ptr<AFXRunningApplication>& runningApplication, std::int64_t presentationStyle,
    AFXCustomerCallback callback) {
    fetchSystemManagementServiceWithCallback([=, callback = std::move(callback)](const auto& result) {
        result.onValue([&](const std::shared_ptr<AFXSystemManagementService>& service) {
            service->fetchCurrentCustomerUpdated(updated, canDestroyInvalidCustomer, runningApplication,
                                                 presentationStyle, callback);
        });
        result.onError([&](const platform::Error& error) {
            callback(BRValueOrError<std::shared_ptr<AFXCustomer>>::makeWithError(error));
        });
    });
}
