#pragma once

#include "ResponseBody.h"

#include <QByteArray>
#include <QList>
#include <QPair>

// A response as a route hands it over: status, fields and body. The
// connection adds the framing fields (length or chunking, connection,
// date) and leaves the body out for HEAD.
class HttpResponse {
public:
    explicit HttpResponse(int status = 200) : status_(status) {}
    HttpResponse(HttpResponse&&) = default;
    HttpResponse& operator=(HttpResponse&&) = default;

    // A short HTML page saying what the status means.
    static HttpResponse page(int status);
    static QByteArray reasonPhrase(int status);

    int status() const { return status_; }
    const QList<QPair<QByteArray, QByteArray>>& headers() const { return headers_; }
    void addHeader(const QByteArray& name, const QByteArray& value) { headers_.append({name, value}); }
    ResponseBody& body() { return body_; }
    void setBody(ResponseBody body) { body_ = std::move(body); }
    // 1xx, 204 and 304 never carry a body, whatever the request.
    bool statusAllowsBody() const { return status_ >= 200 && status_ != 204 && status_ != 304; }

private:
    int status_;
    QList<QPair<QByteArray, QByteArray>> headers_;
    ResponseBody body_;
};
