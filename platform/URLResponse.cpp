#include "URLResponse.h"

namespace platform {

URLResponse URLResponse::http(QUrl url, int statusCode, QMap<QString, QString> headerFields) {
    URLResponse response(std::move(url));
    response.statusCode_ = statusCode;
    response.headers_ = std::move(headerFields);
    return response;
}

QString URLResponse::description() const {
    if (!isHTTP()) {
        return QStringLiteral("<URLResponse> { URL: %1 }").arg(url_.toString());
    }
    return QStringLiteral("<HTTPURLResponse> { URL: %1 } { Status Code: %2 }")
        .arg(url_.toString())
        .arg(*statusCode_);
}

} // namespace platform
