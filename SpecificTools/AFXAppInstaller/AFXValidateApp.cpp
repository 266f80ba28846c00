#include "AFXValidateApp.h"

#include "SpecificTools/Errors/AFXErrors.h"
#include "support/BRAssertions.h"
#include "support/BRCodeSignatureChecker.h"
#include "support/BRLog.h"

namespace {

QString requirementFor(AFXValidation validation) {
    switch (validation) {
    case AFXValidationAppleGeneric:
        return QStringLiteral("anchor apple generic");
    case AFXValidationTeam:
        return QStringLiteral("anchor apple generic and certificate leaf[subject.OU] = \"QZ7K2M4W8R\"");
    case AFXValidationNone:
        break;
    }
    BRAssertUnreachable();
}

} // namespace

bool AFXValidateApp(const QUrl& appURL, AFXValidation validation, platform::Error* error) {
    BRParameterAssert(!appURL.isEmpty());
    if (validation == AFXValidationNone) {
        return true;
    }
    platform::Error checkError(QString(), 0);
    const bool valid =
        BRCodeSignatureChecker::codeSignatureAtURL(appURL, requirementFor(validation), &checkError);
    if (!valid) {
        BRLogError("App validation error for %@ (%@)", appURL, checkError);
    }
    if (!valid && error) {
        *error = afx_appSignatureCheckFailedWithError(checkError);
    }
    return valid;
}
