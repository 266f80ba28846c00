#include "EndpointsRoute.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonObject endpoint(const QString& identifier, const QString& baseURL, bool selfSufficient) {
    return QJsonObject{
        {QStringLiteral("data"),
         QJsonObject{{QStringLiteral("id"), identifier},
                     {QStringLiteral("attributes"),
                      QJsonObject{{QStringLiteral("base_url"), baseURL},
                                  {QStringLiteral("self_sufficient"), selfSufficient ? 1 : 0}}}}}};
}

QByteArray manifest(const QUrl& baseURL) {
    const QString base = baseURL.toString(QUrl::StripTrailingSlash);
    const QJsonArray endpoints{
        endpoint(QStringLiteral("store"), base + QStringLiteral("/api/store/"), true),
        endpoint(QStringLiteral("customer"), base + QStringLiteral("/api/customer/"), false),
        endpoint(QStringLiteral("reporting"), base + QStringLiteral("/"), true),
        endpoint(QStringLiteral("recommendations"), base + QStringLiteral("/api/recommendations/"), true),
    };
    const QJsonObject document{
        {QStringLiteral("data"),
         QJsonObject{
             {QStringLiteral("attributes"),
              QJsonObject{{QStringLiteral("name"), QStringLiteral("Development")}}},
             {QStringLiteral("relationships"), QJsonObject{{QStringLiteral("endpoints"), endpoints}}}}}};
    return QJsonDocument(document).toJson(QJsonDocument::Compact);
}

} // namespace

EndpointsRoute::EndpointsRoute(QUrl baseURL) : baseURL_(std::move(baseURL)) {}

HttpResponse EndpointsRoute::respond(const HttpRequest& request, const QByteArray& subpath) {
    if (!subpath.isEmpty()) {
        return HttpResponse::page(404);
    }
    if (request.method() != "GET" && request.method() != "HEAD") {
        HttpResponse response = HttpResponse::page(405);
        response.addHeader("Allow", "GET, HEAD");
        return response;
    }
    HttpResponse response(200);
    response.addHeader("Content-Type", "application/json");
    response.addHeader("Cache-Control", "no-store");
    response.setBody(ResponseBody::fromBytes(manifest(baseURL_)));
    return response;
}
