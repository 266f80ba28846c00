#pragma once

#include "RouteHandler.h"

#include <QString>

// The statistics sink: each body POSTed to it is appended to one file as a
// line of its own, so a test sees exactly what reached the server and how
// often. Bodies are JSON objects written compactly, which hold no newline.
class EventsRoute : public RouteHandler {
public:
    explicit EventsRoute(QString path);
    HttpResponse respond(const HttpRequest& request, const QByteArray& subpath) override;

private:
    QString path_;
};
