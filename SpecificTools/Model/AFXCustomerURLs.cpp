#include "AFXCustomerURLs.h"

namespace {
const char* const kDefaultRedirectService = "https://go.kestrel.app";
} // namespace

QUrl customerURLOnDownloadKestrel() {
    QString service = QString::fromLocal8Bit(qgetenv("KESTREL_REDIRECT_URL"));
    if (service.isEmpty()) {
        service = QString::fromLatin1(kDefaultRedirectService);
    }
    while (service.endsWith(QLatin1Char('/'))) {
        service.chop(1);
    }
    return QUrl(service + QStringLiteral("/download-desktop-client"));
}
