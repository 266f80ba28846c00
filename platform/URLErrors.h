#pragma once

#include "Error.h"

#include <QByteArray>
#include <QUrl>

#include <cstdint>
#include <optional>

namespace platform {

// An NSURLErrorDomain error for a URL: the platform's description for the
// code (or the one given), the failing URL and, when the transfer can be
// continued, its resume data.
Error makeURLError(std::int64_t code, const QUrl& url,
                   const std::optional<QByteArray>& resumeData = std::nullopt,
                   const QString& description = {});

// The platform's description of an NSURLErrorDomain code.
QString URLErrorDescription(std::int64_t code);

} // namespace platform
