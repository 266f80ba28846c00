#pragma once

#include "HttpRequest.h"
#include "HttpResponse.h"

#include <QByteArray>

// What answers the requests below one path prefix of the store.
class RouteHandler {
public:
    virtual ~RouteHandler() = default;
    // `subpath` is the request's path after the route's prefix, still
    // percent-encoded, starting with "/" (or empty for the prefix itself).
    virtual HttpResponse respond(const HttpRequest& request, const QByteArray& subpath) = 0;
};
