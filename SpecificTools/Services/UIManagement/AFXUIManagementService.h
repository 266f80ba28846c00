#pragma once

#include "support/BRValueOrError.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>

class AFXCodedApp;
class AFXCustomer;
class AFXCustomerCredentials;
class AFXRunningApplication;
class AFXServiceID;

using AFXCustomerCredentialsCallback =
    std::function<void(const BRValueOrError<std::shared_ptr<AFXCustomerCredentials>>&)>;
// Called once the request was answered, whatever the answer.
using AFXUIManagementCallback = std::function<void()>;
// The answer; false as well when there was none.
using AFXUIManagementFlagCallback = std::function<void(bool)>;
// The applications the user quitted; empty when there was no answer.
using AFXQuittedApplicationsCallback =
    std::function<void(const QList<std::shared_ptr<AFXRunningApplication>>&)>;
using AFXTerminationWindowCallback =
    std::function<void(bool cancelledByUser, const QList<QUrl>& quittedAppURLs)>;

// The desktop client's user-interface management service: the process that
// owns the store's user interface presents errors, notifications, the about
// window and proposals on behalf of other processes, and opens help,
// feedback and account pages.
//
// Only credentials travel with errors; the other answers have no error
// form, so a service that cannot answer gives the failure value the
// callback names (false, no applications) or just calls back.
class AFXUIManagementService {
public:
    static QString interprocessServiceName() { return QStringLiteral("com.kestrel.UIManagementService"); }
    // The one service there is: a global service.
    static std::shared_ptr<AFXServiceID> makeGlobalServiceIDToPoke();

    virtual ~AFXUIManagementService() = default;

    virtual void
    fetchCredentialsWithAccountName(const QString& accountName,
                                    const std::shared_ptr<AFXRunningApplication>& runningApplication,
                                    AFXCustomerCredentialsCallback callback) = 0;
    virtual void presentError(const platform::Error& error, AFXUIManagementCallback callback) = 0;
    // The notifications are shown without telling the caller anything back.
    virtual void presentUserNotificationOfKind(std::uint64_t kind) = 0;
    virtual void
    presentUserNotificationOfBrandNewApps(const QList<std::shared_ptr<AFXCodedApp>>& brandNewApps) = 0;
    virtual void
    presentUserNotificationOfUpdatedApps(const QList<std::shared_ptr<AFXCodedApp>>& updatedApps) = 0;
    virtual void proposeToUpdateRunningApplications(
        const QList<std::shared_ptr<AFXRunningApplication>>& runningApplications, bool withUserNotification,
        const QByteArray& additionalNotificationData, AFXQuittedApplicationsCallback callback) = 0;
    // The flag: the user cancelled the uninstallation.
    virtual void proposeToUninstallKestrelWithCallback(AFXUIManagementFlagCallback callback) = 0;
    virtual void pokeWithCallback(AFXUIManagementCallback callback) = 0;
    virtual void presentAboutWindowWithCallback(AFXUIManagementCallback callback) = 0;
    // The flag: the Internet may be used.
    virtual void askUserForConsumptiveInternetUsageWithReason(std::uint64_t reason,
                                                              AFXUIManagementFlagCallback callback) = 0;
    // The flag: the help did open.
    virtual void openOnlineHelpWithCallback(AFXUIManagementFlagCallback callback) = 0;
    virtual void openFeedbackFormWithCallback(AFXUIManagementCallback callback) = 0;
    // The flag: the page did open.
    virtual void openCustomerWebAccount(const std::shared_ptr<AFXCustomer>& customer,
                                        bool startingWithTrialPaymentPage,
                                        AFXUIManagementFlagCallback callback) = 0;
    // The flag: the visibility the status item has now.
    virtual void changeStatusItemVisibilityToState(bool isVisible, AFXUIManagementFlagCallback callback) = 0;
    // Asks the user to quit apps before the desktop client ends.
    virtual void presentTerminationWindowWithReason(std::int64_t reason,
                                                    AFXTerminationWindowCallback callback) = 0;
};
