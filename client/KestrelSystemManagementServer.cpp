#include "KestrelSystemManagementServer.h"

#include "KestrelClientBundle.h"
#include "KestrelCustomerKeeper.h"
#include "KestrelEnvironmentLoader.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Model/AFXCustomer.h"
#include "SpecificTools/Model/AFXCustomerID.h"
#include "SpecificTools/Model/AFXEnvironment.h"
#include "SpecificTools/Model/AFXEnvironmentID.h"
#include "SpecificTools/Model/AFXExecutableInfo.h"
#include "SpecificTools/Services/SystemManagement/AFXActivity.h"
#include "platform/Bundle.h"
#include "support/BRDispatch.h"
#include "support/BRLog.h"

namespace {

template <typename T> BRValueOrError<T> missingObject(const QString& kind, const QString& description) {
    return BRValueOrError<T>::makeWithError(
        platform::Error(AFXDefaultErrorDomain, AFXErrorCodeMissingObject,
                        {{AFXErrorObjectKindKey, kind}, {platform::NSLocalizedDescriptionKey, description}}));
}

} // namespace

AFXServiceClass KestrelSystemManagementServer::serviceClass() {
    // The base's class operations (the global service's ID), making this class.
    return AFXSystemManagementServer::serviceClass().withMaker<KestrelSystemManagementServer>(
        QStringLiteral("KestrelSystemManagementServer"));
}

std::shared_ptr<KestrelSystemManagementServer> KestrelSystemManagementServer::makeWithServiceID(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory, const std::shared_ptr<AFXNetworkService>&) {
    return std::shared_ptr<KestrelSystemManagementServer>(
        new KestrelSystemManagementServer(serviceID, interprocessAdaptor, servicesFactory));
}

KestrelSystemManagementServer::KestrelSystemManagementServer(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory)
    : AFXSystemManagementServer(serviceID, interprocessAdaptor, servicesFactory),
      environmentLoader_(KestrelEnvironmentLoader::make()),
      customerKeeper_(std::make_shared<KestrelCustomerKeeper>()),
      queue_(BRBuildInternalDispatchQueue(QStringLiteral("kestrel-system-management"))) {}

// MARK: - Environments

void KestrelSystemManagementServer::fetchCurrentEnvironmentUpdated(bool updated,
                                                                   AFXEnvironmentCallback callback) {
    environmentLoader_->fetchEnvironmentUpdated(updated, std::move(callback));
}

void KestrelSystemManagementServer::fetchEnvironmentWithID(
    const std::shared_ptr<AFXEnvironmentID>& environmentID, bool isUpdated, AFXEnvironmentCallback callback) {
    environmentLoader_->fetchEnvironmentUpdated(
        isUpdated, [environmentID, callback = std::move(callback)](
                       const BRValueOrError<std::shared_ptr<AFXEnvironment>>& outcome) {
            if (outcome.hasValue() && !(*outcome.value())->identifier()->isEqual(*environmentID)) {
                callback(missingObject<std::shared_ptr<AFXEnvironment>>(
                    QStringLiteral("environment"), QStringLiteral("This client knows no environment %1.")
                                                       .arg(environmentID->description())));
                return;
            }
            callback(outcome);
        });
}

// MARK: - The client itself

void KestrelSystemManagementServer::pokeWithCallback(AFXSystemManagementCompletion callback) {
    callback();
}

void KestrelSystemManagementServer::fetchStartUpStatusWithCallback(AFXStartUpStatusCallback callback) {
    StartUpStatus status = StartUpStatusStarting;
    switch (environmentLoader_->state()) {
    case KestrelEnvironmentLoader::State::Unknown:
        status = StartUpStatusStarting;
        break;
    case KestrelEnvironmentLoader::State::Loaded:
        status = StartUpStatusReady;
        break;
    case KestrelEnvironmentLoader::State::Failed:
        status = StartUpStatusEnvironmentUnavailable;
        break;
    }
    callback(BRValueOrError<std::int64_t>::makeWithValue(status));
}

void KestrelSystemManagementServer::fetchUninstallerExecutableInfoWithType(
    std::int64_t uninstallType, AFXExecutableInfoCallback callback) {
    using Outcome = std::shared_ptr<AFXExecutableInfo>;
    if (uninstallType != ClientUninstallType) {
        callback(missingObject<Outcome>(
            QStringLiteral("uninstaller"),
            QStringLiteral("This client has no uninstaller of type %1; its one uninstaller is of type %2.")
                .arg(uninstallType)
                .arg(ClientUninstallType)));
        return;
    }
    const auto client = KestrelClientBundle::installedClient();
    if (!client || client->executablePath().isEmpty()) {
        callback(
            missingObject<Outcome>(QStringLiteral("uninstaller"),
                                   QStringLiteral("The desktop client's bundle cannot be found, so neither "
                                                  "can its uninstaller.")));
        return;
    }
    callback(BRValueOrError<Outcome>::makeWithValue(
        AFXExecutableInfo::makeWithPath(client->executablePath(), {QStringLiteral("--uninstall")})));
}

// MARK: - Customers

void KestrelSystemManagementServer::fetchCurrentCustomerUpdated(bool, bool,
                                                                const std::shared_ptr<AFXRunningApplication>&,
                                                                std::int64_t, AFXCustomerCallback callback) {
    const auto customer = customerKeeper_->currentCustomer();
    // Nobody signed in: a result never holds nothing, so the missing customer
    // is the missing-object error of its kind, which is what the client
    // side makes of a response without one.
    callback(customer ? BRValueOrError<std::shared_ptr<AFXCustomer>>::makeWithValue(customer)
                      : BRValueOrError<std::shared_ptr<AFXCustomer>>::makeWithError(
                            afx_makeErrorOfMissingObjectOfKind(QStringLiteral("customer"))));
}

void KestrelSystemManagementServer::fetchCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID,
                                                        bool, AFXCustomerCallback callback) {
    const auto customer = customerKeeper_->currentCustomer();
    if (!customer || !customer->identifier()->isEqual(*customerID)) {
        callback(missingObject<std::shared_ptr<AFXCustomer>>(
            QStringLiteral("customer"),
            QStringLiteral("No customer %1 is signed in.").arg(customerID->accountName())));
        return;
    }
    callback(BRValueOrError<std::shared_ptr<AFXCustomer>>::makeWithValue(customer));
}

// MARK: - Activities and termination

void KestrelSystemManagementServer::startActivity(const std::shared_ptr<AFXActivity>& activity,
                                                  const QUuid& reportStreamID) {
    queue_->async([self = std::static_pointer_cast<KestrelSystemManagementServer>(shared_from_this()),
                   activity, reportStreamID] {
        BRLogInfo("Activity %@ started by %@", activity->reason(), activity->tierName());
        self->activities_.insert(activity->identifier(), {activity, reportStreamID});
    });
}

void KestrelSystemManagementServer::stopActivity(const std::shared_ptr<AFXActivity>& activity, const QUuid&) {
    queue_->async([self = std::static_pointer_cast<KestrelSystemManagementServer>(shared_from_this()),
                   activity] { self->activities_.remove(activity->identifier()); });
}

void KestrelSystemManagementServer::didLooseInterprocessConnectionWithEsteblishedStreamID(
    const QUuid& streamID) {
    queue_->async(
        [self = std::static_pointer_cast<KestrelSystemManagementServer>(shared_from_this()), streamID] {
            for (auto it = self->activities_.begin(); it != self->activities_.end();) {
                it = it->reportStreamID == streamID ? self->activities_.erase(it) : std::next(it);
            }
        });
}

void KestrelSystemManagementServer::prepareWholeSystemForTerminationWithCallback(
    AFXBooleanCallback callback) {
    queue_->async([self = std::static_pointer_cast<KestrelSystemManagementServer>(shared_from_this()),
                   callback = std::move(callback)] { callback(self->activities_.isEmpty()); });
}

void KestrelSystemManagementServer::prepareForTerminationWithCallback(std::function<void(bool)> callback) {
    prepareWholeSystemForTerminationWithCallback(std::move(callback));
}
