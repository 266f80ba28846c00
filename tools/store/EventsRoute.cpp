#include "EventsRoute.h"

#include <QFile>

EventsRoute::EventsRoute(QString path) : path_(std::move(path)) {}

HttpResponse EventsRoute::respond(const HttpRequest& request, const QByteArray& subpath) {
    if (!subpath.isEmpty() && subpath != "/") {
        return HttpResponse::page(404);
    }
    if (request.method() != "POST") {
        HttpResponse response = HttpResponse::page(405);
        response.addHeader("Allow", "POST");
        return response;
    }
    QFile file(path_);
    // One write per body, so a reader never sees half a line from us.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered) ||
        file.write(request.body() + '\n') != request.body().size() + 1) {
        return HttpResponse::page(500);
    }
    return HttpResponse(204);
}
