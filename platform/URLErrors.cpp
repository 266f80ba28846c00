#include "URLErrors.h"

#include "URLSessionDownloadTask.h"

namespace platform {

QString URLErrorDescription(std::int64_t code) {
    switch (code) {
    case NSURLErrorCancelled:
        return QStringLiteral("cancelled");
    case NSURLErrorBadURL:
        return QStringLiteral("bad URL");
    case NSURLErrorTimedOut:
        return QStringLiteral("The request timed out.");
    case NSURLErrorUnsupportedURL:
        return QStringLiteral("unsupported URL");
    case NSURLErrorCannotFindHost:
        return QStringLiteral("A server with the specified hostname could not be found.");
    case NSURLErrorCannotConnectToHost:
        return QStringLiteral("Could not connect to the server.");
    case NSURLErrorNetworkConnectionLost:
        return QStringLiteral("The network connection was lost.");
    case NSURLErrorHTTPTooManyRedirects:
        return QStringLiteral("too many HTTP redirects");
    case NSURLErrorNotConnectedToInternet:
        return QStringLiteral("The Internet connection appears to be offline.");
    case NSURLErrorBadServerResponse:
        return QStringLiteral("bad server response");
    case NSURLErrorAppTransportSecurityRequiresSecureConnection:
        return QStringLiteral("The resource could not be loaded because a secure connection is required.");
    case NSURLErrorSecureConnectionFailed:
        return QStringLiteral(
            "An SSL error has occurred and a secure connection to the server cannot be made.");
    case NSURLErrorServerCertificateHasBadDate:
        return QStringLiteral("The certificate for this server has expired.");
    case NSURLErrorServerCertificateUntrusted:
        return QStringLiteral("The certificate for this server is invalid.");
    case NSURLErrorServerCertificateNotYetValid:
        return QStringLiteral("The certificate for this server is not yet valid.");
    case NSURLErrorCannotCreateFile:
        return QStringLiteral("cannot create file");
    case NSURLErrorCannotOpenFile:
        return QStringLiteral("cannot open file");
    case NSURLErrorCannotWriteToFile:
        return QStringLiteral("cannot write file");
    default:
        return QStringLiteral("unknown error");
    }
}

Error makeURLError(std::int64_t code, const QUrl& url, const std::optional<QByteArray>& resumeData,
                   const QString& description) {
    Value::Dictionary userInfo{
        {NSLocalizedDescriptionKey, description.isEmpty() ? URLErrorDescription(code) : description},
        {NSErrorFailingURLStringKey, url.toString()},
    };
    if (resumeData) {
        userInfo.insert(NSURLSessionDownloadTaskResumeData, *resumeData);
    }
    return Error(NSURLErrorDomain, code, userInfo);
}

} // namespace platform
