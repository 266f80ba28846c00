#include "AFXInterprocessErrors.h"

#include "SpecificTools/Errors/AFXErrors.h"

platform::Error afx_makeInterprocessClientError(const QString& description,
                                                const std::optional<platform::Error>& underlyingError) {
    platform::Value::Dictionary userInfo{{platform::NSLocalizedDescriptionKey, description}};
    if (underlyingError) {
        userInfo.insert(platform::NSUnderlyingErrorKey, platform::Value(*underlyingError));
    }
    return platform::Error(AFXDefaultErrorDomain, AFXErrorCodeInterprocessClient, userInfo);
}

platform::Error afx_makeUnknownReportingStreamError() {
    return platform::Error(AFXDefaultErrorDomain, AFXErrorCodeInterprocessServer);
}
