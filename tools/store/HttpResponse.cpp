#include "HttpResponse.h"

HttpResponse HttpResponse::page(int status) {
    HttpResponse response(status);
    const QByteArray title = QByteArray::number(status) + ' ' + reasonPhrase(status);
    response.addHeader("Content-Type", "text/html; charset=utf-8");
    if (response.statusAllowsBody()) {
        response.setBody(ResponseBody::fromBytes("<!DOCTYPE html>\n<html><head><title>" + title +
                                                 "</title></head><body><h1>" + title +
                                                 "</h1></body></html>\n"));
    }
    return response;
}

QByteArray HttpResponse::reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 202:
        return "Accepted";
    case 204:
        return "No Content";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 409:
        return "Conflict";
    case 410:
        return "Gone";
    case 411:
        return "Length Required";
    case 413:
        return "Content Too Large";
    case 416:
        return "Range Not Satisfiable";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        break;
    }
    if (status < 300) {
        return "Success";
    }
    if (status < 400) {
        return "Redirection";
    }
    return status < 500 ? "Client Error" : "Server Error";
}
