#include "AFXNetworkErrors.h"

#include "platform/UserDefaults.h"
#include "support/BRErrorRecovery.h"
#include "support/BRLog.h"

using platform::Error;
using platform::Value;

namespace {

const QString kDesktopClientDefaultsDomain = QStringLiteral("com.kestrel.DesktopClient");
constexpr std::int64_t kConnectionAbortedBySoftware = 53;

Error serverError(AFXErrorCode code) {
    return Error(AFXDefaultErrorDomain, code,
                 {{BRErrorAccessibilityIdentifierKey, AFXErrorAccessibilityIdentifierServerError}});
}

Value describe(const platform::URLResponse* response) {
    return response ? Value(response->description()) : Value();
}

} // namespace

AFXOptionalError afx_interpretResponse(const platform::URLResponse* response) {
    const int status = response && response->isHTTP() ? response->statusCode() : 0;
    switch (status / 100) {
    case 2:
        return std::nullopt;
    case 5:
        return afx_makeServerErrorOnOperation(response->URL().toString(), std::nullopt);
    default:
        break;
    }
    switch (status) {
    case 400:
    case 401:
        return serverError(AFXErrorCodeHTTPBadRequest);
    case 402:
        return serverError(AFXErrorCodeHTTPPaymentRequired);
    case 403:
        return serverError(AFXErrorCodeHTTPForbidden);
    case 404:
        return serverError(AFXErrorCodeHTTPNotFound);
    case 409:
        return serverError(AFXErrorCodeHTTPConflict);
    case 424:
        return serverError(AFXErrorCodeHTTPFailedDependency);
    case 410:
        return afx_oldDesktopClient();
    default:
        BRLogError("Unknown error code with response %@", describe(response));
        return serverError(AFXErrorCodeServerResponseParsing);
    }
}

AFXOptionalError afx_interpretNetworkResponse(const platform::URLResponse* response, const QString& requestID,
                                              const AFXOptionalError& networkError) {
    const auto clientDefaults = platform::UserDefaults::makeWithSuiteName(kDesktopClientDefaultsDomain);
    if (const std::int64_t fake = clientDefaults->integerForKey(QStringLiteral("fake_%1").arg(requestID));
        fake != 0) {
        return Error(AFXDefaultErrorDomain, fake, {{AFXErrorFakeKey, true}});
    }
    if (networkError) {
        if (afx_isCancelled(*networkError)) {
            return networkError;
        }
        if (networkError->domain() == platform::NSPOSIXErrorDomain &&
            networkError->code() == kConnectionAbortedBySoftware) {
            return afx_makeSoftwareBlocksNetworkErrorWithUnderlyingError(networkError);
        }
        if (networkError->code() == platform::NSURLErrorNetworkConnectionLost ||
            networkError->code() == platform::NSURLErrorNotConnectedToInternet) {
            return afx_makeNetworkErrorWithUnderlyingError(networkError);
        }
        return afx_makeUnknownNetworkErrorWithUnderlyingError(networkError);
    }
    AFXOptionalError error = afx_interpretResponse(response);
    if (error) {
        BRLogError("Did fail network request to URL %@ with error %@",
                   response ? Value(response->URL()) : Value(), *error);
    }
    return error;
}
