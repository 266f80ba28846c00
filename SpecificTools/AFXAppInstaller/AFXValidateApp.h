#pragma once

#include "platform/Error.h"

#include <QUrl>

#include <cstdint>

// How strictly an app bundle's code signature is checked before it is put
// in place.
enum AFXValidation : std::uint64_t {
    // No check; always valid.
    AFXValidationNone = 0,
    // "anchor apple generic": signed by a certificate from a trusted root.
    AFXValidationAppleGeneric = 1,
    // As above, and the leaf certificate's organisational unit is the
    // maker's developer team.
    AFXValidationTeam = 2,
};

// Checks the app at `appURL` (required) at the given level. A failed check
// is logged and reported as afx_appSignatureCheckFailedWithError with the
// checker's error underneath; the error out-parameter has no empty form, so
// a successful check leaves it as it was. Any other level stops the process
// through the assertion handler.
bool AFXValidateApp(const QUrl& appURL, AFXValidation validation, platform::Error* error = nullptr);
