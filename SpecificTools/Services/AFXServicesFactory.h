#pragma once

#include "AFXServiceCallbacks.h"
#include "AFXServicesFactoryDelegate.h"
#include "platform/Object.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

class AFXEnvironmentID;
class AFXInterprocessAdaptor;
class AFXRunningApplication;

using AFXInterprocessAdaptorCallback =
    std::function<void(const BRValueOrError<std::shared_ptr<AFXInterprocessAdaptor>>&)>;

// The one owner of a process's management services: hands out the live
// service for a service identity, making it on first request.
//
// The services reach the desktop client through its mach services. Until
// this process can connect to them, every fetch answers the missing-service
// error, on a utility queue.
class AFXServicesFactory : public std::enable_shared_from_this<AFXServicesFactory> {
public:
    // `servicesClasses` names the service classes this process may use
    // ("AFXSystemManagementClient", "AFXAppsManagementClient").
    static std::shared_ptr<AFXServicesFactory>
    makeWithServicesClasses(const QStringList& servicesClasses, const QString& tierName,
                            const std::shared_ptr<AFXServicesFactoryDelegate>& delegate);
    virtual ~AFXServicesFactory() = default;
    AFXServicesFactory(const AFXServicesFactory&) = delete;
    AFXServicesFactory& operator=(const AFXServicesFactory&) = delete;

    const QStringList& servicesClasses() const { return servicesClasses_; }
    const QString& tierName() const { return tierName_; }
    std::shared_ptr<AFXServicesFactoryDelegate> delegate() const { return delegate_.lock(); }

    virtual void fetchSystemManagementServiceWithCallback(AFXSystemManagementServiceCallback callback);
    virtual void
    fetchAppsManagementServiceForEnvironmentID(const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                               AFXAppsManagementServiceCallback callback);

    // The adaptor of the service name in this process, or the missing-service error.
    void fetchInterpocessAdaptorForServiceNamed(const QString& serviceName,
                                                AFXInterprocessAdaptorCallback callback);

    // Shortcuts through the system management service.
    void fetchCurrentEnvironmentUpdated(bool updated, AFXEnvironmentCallback callback);
    void fetchCurrentCustomerUpdated(bool updated, bool canDestroyInvalidCustomer,
                                     const std::shared_ptr<AFXRunningApplication>& runningApplication,
                                     std::int64_t presentationStyle, AFXCustomerCallback callback);

protected:
    AFXServicesFactory(QStringList servicesClasses, QString tierName,
                       const std::shared_ptr<AFXServicesFactoryDelegate>& delegate);

private:
    const QStringList servicesClasses_;
    const QString tierName_;
    const std::weak_ptr<AFXServicesFactoryDelegate> delegate_;
};
