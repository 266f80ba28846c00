#pragma once

#include "AFXErrors.h"
#include "platform/URLResponse.h"

#include <QString>

// The outcome of a network request as an error of the framework's domain,
// or none for success. A test can make any request fail: a non-zero integer
// stored under "fake_<request identifier>" in the desktop client's defaults
// ("com.kestrel.DesktopClient") becomes the code of the answer, whatever the
// server said.
AFXOptionalError afx_interpretNetworkResponse(const platform::URLResponse* response, const QString& requestID,
                                              const AFXOptionalError& networkError);

// The error for a response without a transport failure (none for 2xx).
AFXOptionalError afx_interpretResponse(const platform::URLResponse* response);
