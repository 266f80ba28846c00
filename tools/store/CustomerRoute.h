#pragma once

#include "RouteHandler.h"

// The customer API of the development environment: "sign-in" exchanges the
// demo account's email address and password for a customer record with a
// fresh token. Tokens are not kept: nothing here asks for one back.
class CustomerRoute : public RouteHandler {
public:
    HttpResponse respond(const HttpRequest& request, const QByteArray& subpath) override;
};
