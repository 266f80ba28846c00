#include "Router.h"

void Router::add(const QByteArray& prefix, std::shared_ptr<RouteHandler> handler) {
    QByteArray normalised = prefix;
    while (normalised.endsWith('/')) {
        normalised.chop(1);
    }
    routes_.append({normalised, std::move(handler)});
}

std::shared_ptr<RouteHandler> Router::handlerFor(const QByteArray& path, QByteArray* subpath) const {
    const Route* best = nullptr;
    for (const Route& route : routes_) {
        const bool matches = path.startsWith(route.prefix) &&
                             (path.size() == route.prefix.size() || path.at(route.prefix.size()) == '/');
        if (matches && (!best || route.prefix.size() > best->prefix.size())) {
            best = &route;
        }
    }
    if (!best) {
        return nullptr;
    }
    *subpath = path.mid(best->prefix.size());
    return best->handler;
}
