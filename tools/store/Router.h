#pragma once

#include "RouteHandler.h"

#include <QByteArray>
#include <QList>

#include <memory>

// The store's route table: path prefixes and their handlers. The longest
// prefix that matches whole path segments wins, so "/api" takes "/api" and
// "/api/x" but leaves "/apix" to "/".
class Router {
public:
    void add(const QByteArray& prefix, std::shared_ptr<RouteHandler> handler);
    // The handler and the path below its prefix, or null when no route takes the path.
    std::shared_ptr<RouteHandler> handlerFor(const QByteArray& path, QByteArray* subpath) const;

private:
    struct Route {
        QByteArray prefix;
        std::shared_ptr<RouteHandler> handler;
    };
    QList<Route> routes_;
};
