#include "CustomerRoute.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <array>

namespace {

const QString kDemoEmail = QStringLiteral("demo@kestrel.app");
const QString kDemoPassword = QStringLiteral("kestrel-demo");

HttpResponse json(int status, const QJsonObject& document) {
    HttpResponse response(status);
    response.addHeader("Content-Type", "application/json");
    response.addHeader("Cache-Control", "no-store");
    response.setBody(ResponseBody::fromBytes(QJsonDocument(document).toJson(QJsonDocument::Compact)));
    return response;
}

HttpResponse failure(int status, const QString& detail) {
    return json(status, QJsonObject{{QStringLiteral("errors"),
                                     QJsonArray{QJsonObject{{QStringLiteral("detail"), detail}}}}});
}

QString freshToken() {
    std::array<quint32, 8> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(words.data()), sizeof(words)).toHex());
}

HttpResponse signIn(const QByteArray& body) {
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonValue email = document.object().value(QStringLiteral("email"));
    const QJsonValue password = document.object().value(QStringLiteral("password"));
    if (!document.isObject() || !email.isString() || !password.isString()) {
        return failure(400, QStringLiteral("The request body must be a JSON object with the strings "
                                           "\"email\" and \"password\"."));
    }
    // Addresses are matched without regard to case, passwords exactly.
    if (email.toString().trimmed().compare(kDemoEmail, Qt::CaseInsensitive) != 0 ||
        password.toString() != kDemoPassword) {
        return failure(401, QStringLiteral("The email address or password is not right."));
    }
    const QJsonObject attributes{
        {QStringLiteral("email"), kDemoEmail},
        {QStringLiteral("name"), QStringLiteral("Demo Customer")},
        {QStringLiteral("token"), freshToken()},
        {QStringLiteral("subscription_state"), QStringLiteral("active")},
        {QStringLiteral("subscription_expiration_date"), QStringLiteral("2027-12-31T00:00:00Z")},
    };
    return json(
        200, QJsonObject{{QStringLiteral("data"), QJsonObject{{QStringLiteral("id"), QStringLiteral("1001")},
                                                              {QStringLiteral("attributes"), attributes}}}});
}

} // namespace

HttpResponse CustomerRoute::respond(const HttpRequest& request, const QByteArray& subpath) {
    if (subpath != "/sign-in") {
        return HttpResponse::page(404);
    }
    if (request.method() != "POST") {
        HttpResponse response = HttpResponse::page(405);
        response.addHeader("Allow", "POST");
        return response;
    }
    return signIn(request.body());
}
