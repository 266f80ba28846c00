#include "AFXErrors.h"

#include "AFXLocalizedString.h"
#include "SpecificTools/Model/AFXCodedAppVersion.h"
#include "SpecificTools/Model/AFXCustomerURLs.h"
#include "platform/Workspace.h"
#include "support/BRAssertions.h"
#include "support/BRErrorRecovery.h"
#include "support/BRLog.h"

#include <QStringList>

#include <algorithm>
#include <initializer_list>

using platform::Error;
using platform::Value;

namespace {

QString L(const char* english) {
    return AFXKestrelInterfaceLocalizedString(QString::fromUtf8(english));
}

Value::Dictionary withCause(Value::Dictionary info, const AFXOptionalError& cause) {
    if (cause) {
        info.insert(platform::NSUnderlyingErrorKey, *cause);
    }
    return info;
}

Value::Dictionary texts(const char* description, const char* suggestion) {
    return {{platform::NSLocalizedDescriptionKey, L(description)},
            {platform::NSLocalizedRecoverySuggestionErrorKey, L(suggestion)}};
}

Error plain(AFXErrorCode code) {
    return Error(AFXDefaultErrorDomain, code);
}

Value::Dictionary connectionTrouble(const QString& identifier, const AFXOptionalError& cause) {
    Value::Dictionary info = texts("Uh-oh! Kestrel is having some connection issues.",
                                   "Terribly sorry, please try again a little later.");
    info.insert(BRErrorAccessibilityIdentifierKey, identifier);
    return withCause(info, cause);
}

// The desktop-client errors offer to download the client: the first button
// opens its download page.
Error desktopClientError(AFXErrorCode code, const char* description, const char* suggestion,
                         const char* download) {
    return errorWithDomain(AFXDefaultErrorDomain, code, L(description), L(suggestion),
                           QStringList{L(download), L("Cancel")}, {},
                           [](const Error&, std::size_t optionIndex) -> AFXOptionalError {
                               if (optionIndex == 0) {
                                   platform::Workspace::openURL(customerURLOnDownloadKestrel());
                               }
                               return std::nullopt;
                           });
}

bool inDomainWithCode(const Error& error, std::initializer_list<std::int64_t> codes) {
    return error.domain() == AFXDefaultErrorDomain &&
           std::find(codes.begin(), codes.end(), error.code()) != codes.end();
}

} // namespace

Error afx_makeNetworkErrorWithUnderlyingError(const AFXOptionalError& underlyingError) {
    Value::Dictionary info = texts("Kestrel requires Internet connection to continue.",
                                   "Please make sure you are connected and try again.");
    info.insert(BRErrorAccessibilityIdentifierKey, AFXErrorAccessibilityIdentifierBadNetwork);
    return Error(AFXDefaultErrorDomain, AFXErrorCodeNetwork, withCause(info, underlyingError));
}

Error afx_makeSoftwareBlocksNetworkErrorWithUnderlyingError(const AFXOptionalError& underlyingError) {
    Value::Dictionary info =
        texts("Kestrel’s Internet access got interrupted by another process or application.",
              "Please make sure no network management apps are blocking Kestrel and try again.");
    info.insert(BRErrorAccessibilityIdentifierKey, AFXErrorAccessibilityIdentifierBadNetwork);
    return Error(AFXDefaultErrorDomain, AFXErrorCodeNetwork, withCause(info, underlyingError));
}

Error afx_makeUnknownNetworkErrorWithUnderlyingError(const AFXOptionalError& underlyingError) {
    BRLogError("Unknown network error encountered %@", underlyingError ? Value(*underlyingError) : Value());
    return Error(AFXDefaultErrorDomain, AFXErrorCodeNetwork,
                 connectionTrouble(AFXErrorAccessibilityIdentifierBadNetwork, underlyingError));
}

Error afx_makeErrorOfMissingServiceNamed(const QString& serviceName, const QString& propose) {
    BRLogError("Service %@ is missing. Was required for %@", serviceName, propose);
    return Error(AFXDefaultErrorDomain, AFXErrorCodeMissingService,
                 {{AFXErrorServiceNameKey, serviceName}, {AFXErrorProposeKey, propose}});
}

Error afx_makeErrorOfMissingObjectOfKind(const QString& objectKind) {
    BRLogInfo("Object %@ is missing", objectKind);
    return Error(AFXDefaultErrorDomain, AFXErrorCodeMissingObject, {{AFXErrorObjectKindKey, objectKind}});
}

Error afx_cancel() {
    return plain(AFXErrorCodeCancelled);
}

Error afx_makeFailedInstallOfAgentNamed(const QString& agentName, const QString& operation,
                                        const AFXOptionalError& underlyingError) {
    BRLogError("Did fail to install agent %@. Failed operation: %@. Underlying error: %@", agentName,
               operation, underlyingError ? Value(*underlyingError) : Value());
    return Error(AFXDefaultErrorDomain, AFXErrorCodeFailedAgentInstall,
                 withCause({{AFXErrorOperationKey, operation}}, underlyingError));
}

Error afx_makeFailedDiskOperation(const QString& operation, const AFXOptionalError& underlyingError) {
    BRLogError("Internal file operation %@ faile with error %@", operation,
               underlyingError ? Value(*underlyingError) : Value());
    return Error(AFXDefaultErrorDomain, AFXErrorCodeFailedDiskOperation,
                 withCause(texts("Internal file operation failed", "Your issue is already being handled"),
                           underlyingError));
}

Error afx_endpoinstManifestIsCorruptedWithKey(const QString&) {
    return plain(AFXErrorCodeCorruptedEndpointsManifest);
}

Error afx_missingDesktopClient() {
    return desktopClientError(
        AFXErrorCodeMissingDesktopClient,
        "The main Kestrel application is missing on your Mac. Would you like to download and install it?",
        "This will allow you to discover and further use all of the Kestrel applications.",
        "Download and Install");
}

Error afx_corruptedDesktopClient() {
    return desktopClientError(
        AFXErrorCodeUnusableDesktopClient, "Your Kestrel installation is broken and cannot be used properly.",
        "Please download a new copy of Kestrel and reinstall it on your Mac to resolve the problem.",
        "Download and Install");
}

Error afx_oldDesktopClient() {
    return desktopClientError(AFXErrorCodeUnusableDesktopClient,
                              "Your current version of Kestrel is outdated and can no longer be used.",
                              "Please download and install the latest version to continue using Kestrel.",
                              "Download Now");
}

Error afx_didFailToUnpackApp() {
    return plain(AFXErrorCodeFailedToUnpackApp);
}

Error afx_appSignatureCheckFailedWithError(const AFXOptionalError& underlyingError) {
    return Error(
        AFXDefaultErrorDomain, AFXErrorCodeAppSignatureCheckFailed,
        withCause(texts("Application signature could not be verified.",
                        "It looks like the application was not code signed with a developer signature."),
                  underlyingError));
}

Error afx_invalidKestrelIDOfVendorApp(const Value&) {
    return plain(AFXErrorCodeInvalidKestrelIDOfVendorApp);
}

Error afx_incompatibleAppMinOSVersion(const QString& minimumOSVersion, const QString& currentOSVersion) {
    const QString description =
        platform::stringWithFormat(L("This application requires macOS %@ or later to work on your computer. "
                                     "Currently you have macOS %@."),
                                   minimumOSVersion, currentOSVersion);
    return Error(AFXDefaultErrorDomain, AFXErrorCodeIncompatibleOSVersion,
                 {{platform::NSLocalizedDescriptionKey, description},
                  {platform::NSLocalizedRecoverySuggestionErrorKey,
                   L("Please update your operating system and try again.")}});
}

Error afx_incompatibleAppVersion(const AFXCodedAppVersion& version, const QString& currentOSVersion) {
    return afx_incompatibleAppMinOSVersion(version.minOSVersion(), currentOSVersion);
}

Error afx_teaserAppProvidedInconsistentData() {
    return plain(AFXErrorCodeTeaserAppInconsistentData);
}

Error afx_incompatibleInternalOSVersion(const QString&, const QString&) {
    return plain(AFXErrorCodeIncompatibleInternalOSVersion);
}

Error afx_invalidMachine() {
    return Error(AFXDefaultErrorDomain, AFXErrorCodeInvalidMachine,
                 texts("It looks like your Mac's identity has changed.",
                       "Please sign in your Kestrel account to continue using the service."));
}

Error afx_noTeaserInstallResource() {
    return plain(AFXErrorCodeNoTeaserInstallResource);
}
Error afx_noVendorInstallResource() {
    return plain(AFXErrorCodeNoVendorInstallResource);
}

Error afx_noSuchAppInStoreToPresent() {
    return Error(AFXDefaultErrorDomain, AFXErrorCodeNoSuchAppInStoreToPresent,
                 texts("This application is no longer available on Kestrel.",
                       "You may remove the alias from your computer."));
}

Error afx_noInternalUpdate() {
    return plain(AFXErrorCodeNoInternalUpdate);
}
Error afx_noAppInstanceToLaunch() {
    return plain(AFXErrorCodeNoAppInstanceToLaunch);
}
Error afx_noAppInStoreToLaunch() {
    return plain(AFXErrorCodeNoAppInStoreToLaunch);
}
Error afx_failedToSaveResourceOnDisk() {
    return plain(AFXErrorCodeFailedToSaveResourceOnDisk);
}

Error afx_missingBucketToSaveUsageReportForEnvironmnetID(const Value& environmentID) {
    return Error(AFXDefaultErrorDomain, AFXErrorCodeMissingUsageReportBucket,
                 {{AFXErrorEnvironmentIDKey, environmentID.description()}});
}

Error afx_didFailToInstallVendorAppForUnknownReason() {
    return plain(AFXErrorCodeFailedToInstallVendorApp);
}

Error afx_makeServerErrorOnOperation(const QString& operation, const AFXOptionalError& underlyingError) {
    BRLogError("Server error on %@ with underlying error %@", operation,
               underlyingError ? Value(*underlyingError) : Value());
    return Error(AFXDefaultErrorDomain, AFXErrorCodeServer,
                 connectionTrouble(AFXErrorAccessibilityIdentifierServerError, underlyingError));
}

Error afx_makeServerResponseParsingErrorOnOperation(const QString& operation,
                                                    const AFXOptionalError& underlyingError) {
    BRLogError("Server response parsing error on %@ with underlying error %@", operation,
               underlyingError ? Value(*underlyingError) : Value());
    return Error(AFXDefaultErrorDomain, AFXErrorCodeServerResponseParsing,
                 connectionTrouble(AFXErrorAccessibilityIdentifierServerError, underlyingError));
}

AFXOptionalError afx_makeRelaunchErrorOfVendorApp(const Value&, const AFXOptionalError&) {
    return std::nullopt;
}
AFXOptionalError afx_makeRelaunchErrorOfVendorApp(const Value&, bool) {
    return std::nullopt;
}

void afx_makeTestError() {
    BRAssertUnreachable();
}

Error afx_customerError(const Error& error) {
    if (error.domain() != AFXDefaultErrorDomain) {
        return error;
    }
    static const std::pair<std::int64_t, AFXErrorCode> table[] = {
        {AFXErrorCodeHTTPBadRequest, AFXErrorCodeCustomerBadRequest},
        {AFXErrorCodeHTTPNotFound, AFXErrorCodeCustomerInvalidToken},
        {AFXErrorCodeHTTPForbidden, AFXErrorCodeCustomerForbidden},
        {AFXErrorCodeHTTPFailedDependency, AFXErrorCodeCustomerFailedDependency},
        {AFXErrorCodeHTTPPaymentRequired, AFXErrorCodeCustomerPaymentRequired},
        {AFXErrorCodeHTTPConflict, AFXErrorCodeCustomerConflict},
    };
    for (const auto& [http, customer] : table) {
        if (error.code() == http) {
            return Error(AFXDefaultErrorDomain, customer, error.userInfo());
        }
    }
    return error;
}

bool afx_isCancelled(const Error& error) {
    return inDomainWithCode(error, {AFXErrorCodeCancelled}) ||
           (error.domain() == platform::NSURLErrorDomain && error.code() == platform::NSURLErrorCancelled);
}

bool afx_isMissingService(const Error& error) {
    return inDomainWithCode(error, {AFXErrorCodeMissingService});
}
bool afx_isMissingObject(const Error& error) {
    return inDomainWithCode(error, {AFXErrorCodeMissingObject});
}
bool afx_isInvalidMachine(const Error& error) {
    return inDomainWithCode(error, {AFXErrorCodeInvalidMachine});
}
bool afx_isInvalidToken(const Error& error) {
    return inDomainWithCode(error, {AFXErrorCodeCustomerInvalidToken});
}

bool afx_isHTTPClientError(const Error& error) {
    return inDomainWithCode(error,
                            {AFXErrorCodeHTTPBadRequest, AFXErrorCodeHTTPPaymentRequired,
                             AFXErrorCodeHTTPForbidden, AFXErrorCodeHTTPNotFound, AFXErrorCodeHTTPConflict,
                             AFXErrorCodeHTTPGone, AFXErrorCodeHTTPFailedDependency});
}

bool afx_isCustomerError(const Error& error) {
    return afx_isHTTPClientError(error) ||
           inDomainWithCode(error, {AFXErrorCodeCustomerBadRequest, AFXErrorCodeCustomerInvalidToken,
                                    AFXErrorCodeCustomerForbidden, AFXErrorCodeCustomerFailedDependency,
                                    AFXErrorCodeCustomerPaymentRequired, AFXErrorCodeCustomerConflict});
}

bool afx_isUserPresentableError(const Error& error) {
    return inDomainWithCode(error,
                            {AFXErrorCodeNetwork, AFXErrorCodeFailedDiskOperation,
                             AFXErrorCodeMissingDesktopClient, AFXErrorCodeUnusableDesktopClient,
                             AFXErrorCodeAppSignatureCheckFailed, AFXErrorCodeIncompatibleOSVersion,
                             AFXErrorCodeVendorAppFailedToLaunch, AFXErrorCodeVendorAppLaunchCancelled,
                             AFXErrorCodeInvalidMachine, AFXErrorCodeNoSuchAppInStoreToPresent,
                             AFXErrorCodeHTTPGone, AFXErrorCodeServer, AFXErrorCodeServerResponseParsing});
}
