#pragma once

// The requests, responses and reports of the user-interface management
// service, declared in the framework's compact record form. No request of
// this service reports progress.

#include "SpecificTools/Interprocess/AFXInterprocessRequest.h"
#include "SpecificTools/Model/AFXCodedApp.h"
#include "SpecificTools/Model/AFXCustomer.h"
#include "SpecificTools/Model/AFXCustomerCredentials.h"
#include "SpecificTools/Services/SystemManagement/AFXRunningApplication.h"
#include "platform/Error.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

// The bases of the family. A request's service ID is a global service ID.
class AFXUIManagementRequest : public AFXInterprocessRequest {
    AFX_DECLARE_RECORD(AFXUIManagementRequest)
protected:
    AFXUIManagementRequest() = default;
};
class AFXUIManagementResponse : public AFXInterprocessResponse {
    AFX_DECLARE_RECORD(AFXUIManagementResponse)
protected:
    AFXUIManagementResponse() = default;
};
// Reports of this family are responses by descent; none is ever sent.
class AFXUIManagementReport : public AFXInterprocessResponse {
    AFX_DECLARE_RECORD(AFXUIManagementReport)
protected:
    AFXUIManagementReport() = default;
};

class AFXFetchCredentialsResponse : public AFXUIManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchCredentialsResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCustomerCredentials>, credentials, setCredentials)
};
class AFXFetchCredentialsRequest : public AFXUIManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchCredentialsRequest)
    AFX_RECORD_FIELD(QString, accountName, setAccountName)
    AFX_RECORD_FIELD(std::shared_ptr<AFXRunningApplication>, runningApplication, setRunningApplication)
    AFX_REQUEST_RESPONDING_WITH(AFXFetchCredentialsResponse)
};

class AFXPresentErrorResponse : public AFXUIManagementResponse {
    AFX_DECLARE_RECORD(AFXPresentErrorResponse)
};
class AFXPresentErrorRequest : public AFXUIManagementRequest {
    AFX_DECLARE_RECORD(AFXPresentErrorRequest)
    AFX_RECORD_FIELD(std::optional<platform::Error>, error, setError)
    AFX_REQUEST_RESPONDING_WITH(AFXPresentErrorResponse)
};

class AFXPresentUserNotificationResponse : public AFXUIManagementResponse {
    AFX_DECLARE_RECORD(AFXPresentUserNotificationResponse)
};
class AFXPresentUserNotificationRequest : public AFXUIManagementRequest {
    AFX_DECLARE_RECORD(AFXPresentUserNotificationRequest)
    AFX_RECORD_FIELD(std::uint64_t, kind, setKind)
    AFX_REQUEST_RESPONDING_WITH(AFXPresentUserNotificationResponse)
};

class AFXPresentUserNotificationOfBrandNewAppsResponse : public AFXUIManagementResponse {
    AFX_DECLARE_RECORD(AFXPresentUserNotificationOfBrandNewAppsResponse)
};
class AFXPresentUserNotificationOfBrandNewAppsRequest : public AFXUIManagementRequest {
    AFX_DECLARE_RECORD(AFXPresentUserNotificationOfBrandNewAppsRequest)
    // Travels as a set.
    AFX_RECORD_FIELD(QList<std::shared_ptr<AFXCodedApp>>, brandNewApps, setBrandNewApps)
    AFX_REQUEST_RESPONDING_WITH(AFXPresentUserNotificationOfBrandNewAppsResponse)
};

class AFXPresentUserNotificationOfUpdatedAppsResponse : public AFXUIManagementResponse {
    AFX_DECLARE_RECORD(AFXPresentUserNotificationOfUpdatedAppsResponse)
};
class AFXPresentUserNotificationOfUpdatedAppsRequest : public AFXUIManagementRequest {
    AFX_DECLARE_RECORD(AFXPresentUserNotificationOfUpdatedAppsRequest)
    // Travels as a set.
    AFX_RECORD_FIELD(QList<std::shared_ptr<AFXCodedApp>>, updatedApps, setUpdatedApps)
    AFX_REQUEST_RESPONDING_WITH(AFXPresentUserNotificationOfUpdatedAppsResponse)
};

class AFXProposeToUpdateRunningApplicationsResponse : public AFXUIManagementResponse {
    AFX_DECLARE_RECORD(AFXProposeToUpdateRunningApplicationsResponse)
    // Travels as a set.
    AFX_RECORD_FIELD(QList<std::shared_ptr<AFXRunningApplication>>, quittedApplications,
                     setQuittedApplications)
};
class AFXProposeToUpdateRunningApplicationsRequest : public AFXUIManagementRequest {
    AFX_DECLARE_RECORD(AFXProposeToUpdateRunningApplicationsRequest)
    // Travels as a set.
    AFX_RECORD_FIELD(QList<std::shared_ptr<AFXRunningApplication>>, runningApplications,
                     setRunningApplications)
    AFX_RECORD_FIELD(bool, showUserNotification, setShowUserNotification)
    AFX_RECORD_FIELD(QByteArray, additionalNotificationData, setAdditionalNotificationData)
    AFX_REQUEST_RESPONDING_WITH(AFXProposeToUpdateRunningApplicationsResponse)
};

class AFXProposeToUninstallKestrelUIResponse : public AFXUIManagementResponse {
    AFX_DECLARE_RECORD(AFXProposeToUninstallKestrelUIResponse)
    AFX_RECORD_FIELD(bool, cancelled, setCancelled)
};
class AFXProposeToUninstallKestrelUIRequest : public AFXUIManagementRequest {
    AFX_DECLARE_RECORD(AFXProposeToUninstallKestrelUIRequest)
    AFX_REQUEST_RESPONDING_WITH(AFXProposeToUninstallKestrelUIResponse)
};

class AFXPokeUIResponse : public AFXUIManagementResponse {
    AFX_DECLARE_RECORD(AFXPokeUIResponse)
};
class AFXPokeUIRequest : public AFXUIManagementRequest {
    AFX_DECLARE_RECORD(AFXPokeUIRequest)
    AFX_REQUEST_RESPONDING_WITH(AFXPokeUIResponse)
};

class AFXPresentAboutWindowResponse : public AFXUIManagementResponse {
    AFX_DECLARE_RECORD(AFXPresentAboutWindowResponse)
};
class AFXPresentAboutWindowRequest : public AFXUIManagementRequest {
    AFX_DECLARE_RECORD(AFXPresentAboutWindowRequest)
    AFX_REQUEST_RESPONDING_WITH(AFXPresentAboutWindowResponse)
};

class AFXAskUserForConsumptiveInternetUsageResponse : public AFXUIManagementResponse {
    AFX_DECLARE_RECORD(AFXAskUserForConsumptiveInternetUsageResponse)
    AFX_RECORD_FIELD(bool, canUseInternet, setCanUseInternet)
};
class AFXAskUserForConsumptiveInternetUsageRequest : public AFXUIManagementRequest {
    AFX_DECLARE_RECORD(AFXAskUserForConsumptiveInternetUsageRequest)
    AFX_RECORD_FIELD(std::uint64_t, reason, setReason)
    AFX_REQUEST_RESPONDING_WITH(AFXAskUserForConsumptiveInternetUsageResponse)
};

class AFXOpenOnlineHelpResponse : public AFXUIManagementResponse {
    AFX_DECLARE_RECORD(AFXOpenOnlineHelpResponse)
    AFX_RECORD_FIELD(bool, didOpen, setDidOpen)
};
class AFXOpenOnlineHelpRequest : public AFXUIManagementRequest {
    AFX_DECLARE_RECORD(AFXOpenOnlineHelpRequest)
    AFX_REQUEST_RESPONDING_WITH(AFXOpenOnlineHelpResponse)
};

class AFXOpenFeedbackFormResponse : public AFXUIManagementResponse {
    AFX_DECLARE_RECORD(AFXOpenFeedbackFormResponse)
};
class AFXOpenFeedbackFormRequest : public AFXUIManagementRequest {
    AFX_DECLARE_RECORD(AFXOpenFeedbackFormRequest)
    AFX_REQUEST_RESPONDING_WITH(AFXOpenFeedbackFormResponse)
};

class AFXOpenCustomerWebAccountResponse : public AFXUIManagementResponse {
    AFX_DECLARE_RECORD(AFXOpenCustomerWebAccountResponse)
    AFX_RECORD_FIELD(bool, didOpenPage, setDidOpenPage)
};
class AFXOpenCustomerWebAccountRequest : public AFXUIManagementRequest {
    AFX_DECLARE_RECORD(AFXOpenCustomerWebAccountRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCustomer>, customer, setCustomer)
    AFX_RECORD_FIELD(bool, openAddPaymentPage, setOpenAddPaymentPage)
    AFX_REQUEST_RESPONDING_WITH(AFXOpenCustomerWebAccountResponse)
};

// Descends from the request base, not the response base, but only ever
// travels as a response: it carries the request base's (empty) fields too.
class AFXChangeStatusItemVisibilityResponse : public AFXUIManagementRequest {
    AFX_DECLARE_RECORD(AFXChangeStatusItemVisibilityResponse)
    AFX_RECORD_FIELD(bool, isVisible, setIsVisible)
};
class AFXChangeStatusItemVisibilityRequest : public AFXUIManagementRequest {
    AFX_DECLARE_RECORD(AFXChangeStatusItemVisibilityRequest)
    AFX_RECORD_FIELD(bool, isVisible, setIsVisible)
    AFX_REQUEST_RESPONDING_WITH(AFXChangeStatusItemVisibilityResponse)
};

// The termination-window pair belongs to the service but is not among the
// request classes the client sends and a server accepts by default: a
// serving process that wants it across processes lists it itself.
class AFXPresentTerminationWindowResponse : public AFXUIManagementResponse {
    AFX_DECLARE_RECORD(AFXPresentTerminationWindowResponse)
    AFX_RECORD_FIELD(bool, cancelledByUser, setCancelledByUser)
    // Travels as a set.
    AFX_RECORD_FIELD(QList<QUrl>, quittedAppURLs, setQuittedAppURLs)
};
class AFXPresentTerminationWindowRequest : public AFXUIManagementRequest {
    AFX_DECLARE_RECORD(AFXPresentTerminationWindowRequest)
    AFX_RECORD_FIELD(std::int64_t, reason, setReason)
    AFX_REQUEST_RESPONDING_WITH(AFXPresentTerminationWindowResponse)
};

// The 14 request classes of the service.
QList<const platform::Class*> AFXUIManagementRequestClasses();
