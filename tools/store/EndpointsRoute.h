#pragma once

#include "RouteHandler.h"

#include <QUrl>

// The endpoints manifest of the development environment: every endpoint the
// client framework looks up, each under the store's own base URL. The
// document is made per request, so it names whatever port the store got.
class EndpointsRoute : public RouteHandler {
public:
    // `baseURL` is "https://127.0.0.1:PORT", without a trailing slash.
    explicit EndpointsRoute(QUrl baseURL);
    HttpResponse respond(const HttpRequest& request, const QByteArray& subpath) override;

private:
    QUrl baseURL_;
};
