#pragma once

#include "SpecificTools/Services/AFXServiceCallbacks.h"
#include "platform/Error.h"

#include <QString>
#include <QUuid>

#include <cstdint>
#include <functional>
#include <memory>

class AFXActivity;
class AFXCustomerCredentials;
class AFXCustomerID;
class AFXCustomerIdentity;
class AFXEnvironmentID;
class AFXRunningApplication;
class AFXSignInWorkflow;

// The mach service name of the system management service.
QString AFXSystemManagementServiceName();

// Posted by the desktop client when its current environment or customer
// changes; the user info holds the new one's secure serialisation under the
// key, or nothing when there is no longer one. Every services factory takes
// it as its current environment or customer.
inline const QString AFXSystemManagementCurrentEnvironmentChangedNotification =
    QStringLiteral("com.kestrel.system-management-service.current-environment-changed");
inline const QString AFXSystemManagementCurrentEnvironmentChangedNotificationSecureDataKey =
    QStringLiteral("environment-secure-data");
inline const QString AFXSystemManagementCurrentCustomerChangedNotification =
    QStringLiteral("com.kestrel.system-management-service.current-customer-changed");
inline const QString AFXSystemManagementCurrentCustomerChangedNotificationSecureDataKey =
    QStringLiteral("customer-secure-data");

// Callbacks that receive no result: the operation has been carried out.
using AFXSystemManagementCompletion = std::function<void()>;
using AFXBooleanCallback = std::function<void(bool)>;
using AFXStartUpStatusCallback = std::function<void(const BRValueOrError<std::int64_t>&)>;
// Whether the internet may be used, and the key that withdraws the
// permission (null when there is none).
using AFXInternetUsagePermissionCallback =
    std::function<void(bool canUseInternet, const QString& cancellationKey)>;
using AFXAccessTokenCallback = std::function<void(const BRValueOrError<QString>&)>;
using AFXCustomerIdentityCallback =
    std::function<void(const BRValueOrError<std::shared_ptr<AFXCustomerIdentity>>&)>;
using AFXSignInWorkflowCallback =
    std::function<void(const BRValueOrError<std::shared_ptr<AFXSignInWorkflow>>&)>;

// The desktop client's system management service: the current environment
// and customer, sign-in, activities, the client's own life and a few system
// questions. The client of this process sends each operation as a request;
// the desktop client serves it on its own object.
//
// Every operation answers, unless overridden, as a service that does not
// offer it: a missing-service error where the callback takes one, the
// operation's failure value where it takes a boolean, and nothing else
// where it takes no result. So a serving process overrides only what it
// offers, and a stand-in overrides only what it is asked.
class AFXSystemManagementService {
public:
    virtual ~AFXSystemManagementService() = default;

    // Environments.
    virtual void fetchCurrentEnvironmentUpdated(bool updated, AFXEnvironmentCallback callback);
    virtual void fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                        bool isUpdated, AFXEnvironmentCallback callback);

    // The desktop client itself.
    virtual void pokeWithCallback(AFXSystemManagementCompletion callback);
    virtual void checkForUpdatesInitiatedByUser(bool initiatedByUser, AFXErrorCallback callback);
    virtual void notifyFinderSyncExtensionLaunchedWithCallback(AFXSystemManagementCompletion callback);
    // True: the client will end. False on failure.
    virtual void tearDownServiceWithCallback(AFXBooleanCallback callback);
    virtual void fetchStartUpStatusWithCallback(AFXStartUpStatusCallback callback);
    virtual void showSignInWithPresentationStyle(std::int64_t presentationStyle,
                                                 AFXSystemManagementCompletion callback);
    // How to run the client's uninstaller of the given type.
    virtual void fetchUninstallerExecutableInfoWithType(std::int64_t uninstallType,
                                                        AFXExecutableInfoCallback callback);
    // False and no key on failure.
    virtual void
    fetchConsumptiveInternetUsagePermissionWithReason(std::uint64_t reason, bool canAskUser,
                                                      AFXInternetUsagePermissionCallback callback);
    virtual void cancelConsumptiveInternetUsagePermission(const QString& cancellationKey);
    virtual void uninstallKestrelForce(bool force, AFXErrorCallback callback);
    // True: the whole system may end. True on failure too, so that a
    // client that cannot be asked never holds up the end.
    virtual void prepareWholeSystemForTerminationWithCallback(AFXBooleanCallback callback);
    virtual void presentError(const platform::Error& error, AFXSystemManagementCompletion callback);

    // Customers. `updated` asks the client to refresh the customer from the
    // store first; `runningApplication` names the application asking, if any.
    virtual void fetchCurrentCustomerUpdated(bool updated, bool canDestroyInvalidCustomer,
                                             const std::shared_ptr<AFXRunningApplication>& runningApplication,
                                             std::int64_t presentationStyle, AFXCustomerCallback callback);
    virtual void fetchCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID, bool isUpdated,
                                     AFXCustomerCallback callback);
    virtual void signOutCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID,
                                       bool showTerminationDialog, AFXErrorCallback callback);
    virtual void signInWithCredentials(const std::shared_ptr<AFXCustomerCredentials>& credentials);
    // An access token for the customer's web account; the interval is in seconds.
    virtual void fetchCustomerCabinetAccessToken(const std::shared_ptr<AFXCustomer>& customer,
                                                 double timeoutInterval, AFXAccessTokenCallback callback);
    virtual void fetchCustomerIdentityWithID(const std::shared_ptr<AFXCustomerID>& customerID,
                                             AFXCustomerIdentityCallback callback);
    virtual void saveAPNSDeviceToken(const QString& deviceToken, const std::shared_ptr<AFXCustomer>& customer,
                                     const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                     AFXErrorCallback callback);

    // Activities. A process starts and stops them; the serving side hears
    // of each together with the reporting stream of the process that sent it.
    virtual void startActivity(const std::shared_ptr<AFXActivity>& activity);
    virtual void stopActivity(const std::shared_ptr<AFXActivity>& activity);
    virtual void startActivity(const std::shared_ptr<AFXActivity>& activity, const QUuid& reportStreamID);
    virtual void stopActivity(const std::shared_ptr<AFXActivity>& activity, const QUuid& reportStreamID);

    // Sign-in workflow.
    virtual void fetchSignInWorkflowWithCallback(AFXSignInWorkflowCallback callback);
};
