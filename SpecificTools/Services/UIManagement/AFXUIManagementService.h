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
// callback names (false, no applications) or just calls back. The
// operations' own forms answer so, after logging that the service is
// missing: a service overrides what it offers.
class AFXUIManagementService {
public:
    static QString interprocessServiceName() { return QStringLiteral("com.kestrel.UIManagementService"); }
    // The one service there is: a global service.
    static std::shared_ptr<AFXServiceID> makeGlobalServiceIDToPoke();

    virtual ~AFXUIManagementService() = default;

    virtual void
    fetchCredentialsWithAccountName(const QString& accountName,
                                    const std::shared_ptr<AFXRunningApplication>& runningApplication,
                                    AFXCustomerCredentialsCallback callback);
    virtual void presentError(const platform::Error& error, AFXUIManagementCallback callback);
    // The notifications are shown without telling the caller anything back.
    virtual void presentUserNotificationOfKind(std::uint64_t kind);
    virtual void
    presentUserNotificationOfBrandNewApps(const QList<std::shared_ptr<AFXCodedApp>>& brandNewApps);
    virtual void presentUserNotificationOfUpdatedApps(const QList<std::shared_ptr<AFXCodedApp>>& updatedApps);
    virtual void proposeToUpdateRunningApplications(
        const QList<std::shared_ptr<AFXRunningApplication>>& runningApplications, bool withUserNotification,
        const QByteArray& additionalNotificationData, AFXQuittedApplicationsCallback callback);
    // The flag: the user cancelled the uninstallation.
    virtual void proposeToUninstallKestrelWithCallback(AFXUIManagementFlagCallback callback);
    virtual void pokeWithCallback(AFXUIManagementCallback callback);
    virtual void presentAboutWindowWithCallback(AFXUIManagementCallback callback);
    // The flag: the Internet may be used.
    virtual void askUserForConsumptiveInternetUsageWithReason(std::uint64_t reason,
                                                              AFXUIManagementFlagCallback callback);
    // The flag: the help did open.
    virtual void openOnlineHelpWithCallback(AFXUIManagementFlagCallback callback);
    virtual void openFeedbackFormWithCallback(AFXUIManagementCallback callback);
    // The flag: the page did open.
    virtual void openCustomerWebAccount(const std::shared_ptr<AFXCustomer>& customer,
                                        bool startingWithTrialPaymentPage,
                                        AFXUIManagementFlagCallback callback);
    // The flag: the visibility the status item has now.
    virtual void changeStatusItemVisibilityToState(bool isVisible, AFXUIManagementFlagCallback callback);
    // Asks the user to quit apps before the desktop client ends; answers
    // cancelled, with no apps quitted, when not offered.
    virtual void presentTerminationWindowWithReason(std::int64_t reason,
                                                    AFXTerminationWindowCallback callback);
};
