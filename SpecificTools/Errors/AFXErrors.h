#pragma once

#include "platform/Error.h"
#include "platform/Value.h"

#include <QString>

#include <cstdint>
#include <optional>

class AFXCodedAppVersion;

// The framework's one error domain: its codes, the constructors that make
// each error with its texts, and the predicates that classify errors.

inline const QString AFXDefaultErrorDomain = QStringLiteral("com.kestrel.default-error-domain");

enum AFXErrorCode : std::int64_t {
    AFXErrorCodeNetwork = -401001,
    AFXErrorCodeMissingService = -401002,
    AFXErrorCodeMissingObject = -401003,
    AFXErrorCodeCancelled = -401005,
    AFXErrorCodeFailedAgentInstall = -401011,
    AFXErrorCodeFailedDiskOperation = -401012,
    AFXErrorCodeCorruptedEndpointsManifest = -401013,
    AFXErrorCodeMissingDesktopClient = -401014,
    AFXErrorCodeUnusableDesktopClient = -401015,
    AFXErrorCodeFailedToUnpackApp = -401041,
    AFXErrorCodeAppSignatureCheckFailed = -401042,
    AFXErrorCodeInvalidKestrelIDOfVendorApp = -401043,
    AFXErrorCodeIncompatibleOSVersion = -401044,
    AFXErrorCodeTeaserAppInconsistentData = -401045,
    AFXErrorCodeIncompatibleInternalOSVersion = -401046,
    AFXErrorCodeInterprocessServer = -401051,
    AFXErrorCodeInterprocessClient = -401052,
    AFXErrorCodeVendorAppFailedToLaunch = -401061,
    AFXErrorCodeVendorAppLaunchCancelled = -401062,
    AFXErrorCodeCustomerBadRequest = -401081,
    AFXErrorCodeCustomerInvalidToken = -401082,
    AFXErrorCodeCustomerForbidden = -401083,
    AFXErrorCodeCustomerFailedDependency = -401084,
    AFXErrorCodeCustomerPaymentRequired = -401085,
    AFXErrorCodeInvalidMachine = -401086,
    AFXErrorCodeCustomerConflict = -401088,
    AFXErrorCodeNoTeaserInstallResource = -401101,
    AFXErrorCodeNoVendorInstallResource = -401102,
    AFXErrorCodeNoSuchAppInStoreToPresent = -401103,
    AFXErrorCodeNoInternalUpdate = -401104,
    AFXErrorCodeNoAppInstanceToLaunch = -401105,
    AFXErrorCodeNoAppInStoreToLaunch = -401106,
    AFXErrorCodeFailedToSaveResourceOnDisk = -401107,
    AFXErrorCodeMissingUsageReportBucket = -401108,
    AFXErrorCodeFailedToInstallVendorApp = -401109,
    AFXErrorCodeHTTPBadRequest = -401400,
    AFXErrorCodeHTTPPaymentRequired = -401402,
    AFXErrorCodeHTTPForbidden = -401403,
    AFXErrorCodeHTTPNotFound = -401404,
    AFXErrorCodeHTTPConflict = -401409,
    AFXErrorCodeHTTPGone = -401410,
    AFXErrorCodeHTTPFailedDependency = -401424,
    AFXErrorCodeServer = -401500,
    AFXErrorCodeServerResponseParsing = -401540,
};

// User-info keys.
inline const QString AFXErrorObjectKindKey = QStringLiteral("object kind");
inline const QString AFXErrorServiceNameKey = QStringLiteral("serviceName");
inline const QString AFXErrorProposeKey = QStringLiteral("propose");
inline const QString AFXErrorOperationKey = QStringLiteral("operation");
inline const QString AFXErrorEnvironmentIDKey = QStringLiteral("environmentID");
inline const QString AFXErrorFakeKey = QStringLiteral("fake");
inline const QString AFXDefaultErrorUserInfoRecoveryOptionIndexURLsKey =
    QStringLiteral("UserInfoRecoveryOptionIndexURLs");

// Accessibility identifiers of the alerts.
inline const QString AFXErrorAccessibilityIdentifierBadNetwork = QStringLiteral("error.bad-network");
inline const QString AFXErrorAccessibilityIdentifierServerError = QStringLiteral("error.server-error");
inline const QString AFXErrorAccessibilityIdentifierIncorrectCredentials =
    QStringLiteral("error.incorrect-credentials");
inline const QString AFXErrorAccessibilityIdentifierMachineIsNotAllowed =
    QStringLiteral("error.machine-is-not-allowed");
inline const QString AFXErrorAccessibilityIdentifierVendorAppFailedToLaunch =
    QStringLiteral("error.vendor-app-failed-to-launch");
inline const QString AFXErrorAccessibilityIdentifierVendorAppLaunchCancelled =
    QStringLiteral("error.vendor-app-launch-cancelled");

using AFXOptionalError = std::optional<platform::Error>;

// Constructors. A cause that is absent is not stored.
platform::Error afx_makeNetworkErrorWithUnderlyingError(const AFXOptionalError& underlyingError);
platform::Error
afx_makeSoftwareBlocksNetworkErrorWithUnderlyingError(const AFXOptionalError& underlyingError);
platform::Error afx_makeUnknownNetworkErrorWithUnderlyingError(const AFXOptionalError& underlyingError);
platform::Error afx_makeErrorOfMissingServiceNamed(const QString& serviceName, const QString& propose);
platform::Error afx_makeErrorOfMissingObjectOfKind(const QString& objectKind);
platform::Error afx_cancel();
platform::Error afx_makeFailedInstallOfAgentNamed(const QString& agentName, const QString& operation,
                                                  const AFXOptionalError& underlyingError);
platform::Error afx_makeFailedDiskOperation(const QString& operation,
                                            const AFXOptionalError& underlyingError);
platform::Error afx_endpoinstManifestIsCorruptedWithKey(const QString& key);
platform::Error afx_missingDesktopClient();
platform::Error afx_corruptedDesktopClient();
platform::Error afx_oldDesktopClient();
platform::Error afx_didFailToUnpackApp();
platform::Error afx_appSignatureCheckFailedWithError(const AFXOptionalError& underlyingError);
platform::Error afx_invalidKestrelIDOfVendorApp(const platform::Value& kestrelID);
platform::Error afx_incompatibleAppMinOSVersion(const QString& minimumOSVersion,
                                                const QString& currentOSVersion);
// As afx_incompatibleAppMinOSVersion, with the version's minOSVersion as minimum.
platform::Error afx_incompatibleAppVersion(const AFXCodedAppVersion& version,
                                           const QString& currentOSVersion);
platform::Error afx_teaserAppProvidedInconsistentData();
platform::Error afx_incompatibleInternalOSVersion(const QString& internalOSVersion,
                                                  const QString& currentOSVersion);
platform::Error afx_invalidMachine();
platform::Error afx_noTeaserInstallResource();
platform::Error afx_noVendorInstallResource();
platform::Error afx_noSuchAppInStoreToPresent();
platform::Error afx_noInternalUpdate();
platform::Error afx_noAppInstanceToLaunch();
platform::Error afx_noAppInStoreToLaunch();
platform::Error afx_failedToSaveResourceOnDisk();
// Stores the identifier's description under "environmentID".
platform::Error afx_missingBucketToSaveUsageReportForEnvironmnetID(const platform::Value& environmentID);
platform::Error afx_didFailToInstallVendorAppForUnknownReason();
platform::Error afx_makeServerErrorOnOperation(const QString& operation,
                                               const AFXOptionalError& underlyingError);
platform::Error afx_makeServerResponseParsingErrorOnOperation(const QString& operation,
                                                              const AFXOptionalError& underlyingError);
// Relaunch errors are not made by this system: these answer none.
AFXOptionalError afx_makeRelaunchErrorOfVendorApp(const platform::Value& app,
                                                  const AFXOptionalError& underlyingError);
AFXOptionalError afx_makeRelaunchErrorOfVendorApp(const platform::Value& app, bool becauseSignInCancelled);
// Not available: stops the process.
[[noreturn]] void afx_makeTestError();

// An HTTP client error turned into the customer error of the same user info;
// any other error is answered unchanged.
platform::Error afx_customerError(const platform::Error& error);

// Predicates: false outside the framework's domain, except where noted.
// Also true for a cancelled URL load (NSURLErrorDomain, -999).
bool afx_isCancelled(const platform::Error& error);
bool afx_isMissingService(const platform::Error& error);
bool afx_isMissingObject(const platform::Error& error);
bool afx_isInvalidMachine(const platform::Error& error);
bool afx_isInvalidToken(const platform::Error& error);
bool afx_isHTTPClientError(const platform::Error& error);
bool afx_isCustomerError(const platform::Error& error);
bool afx_isUserPresentableError(const platform::Error& error);
