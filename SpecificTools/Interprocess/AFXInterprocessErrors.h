#pragma once

#include "platform/Error.h"

#include <QString>

#include <optional>

// Errors of the interprocess transport in the framework's domain.

// A failure of the client side (-401052): a reporting stream that could not
// be set up, a connection lost before a request could use it, a connection
// that nobody is left to make. The cause, when there is one, is the
// underlying error.
platform::Error
afx_makeInterprocessClientError(const QString& description,
                                const std::optional<platform::Error>& underlyingError = std::nullopt);
// A request naming a reporting stream that the server does not know (-401051).
platform::Error afx_makeUnknownReportingStreamError();
