#include "StoreServer.h"

#include "StoreConnection.h"

StoreServer::StoreServer(const QSslConfiguration& configuration, const Router& router, FaultPlan& faults)
    : configuration_(configuration), router_(router), faults_(faults) {}

void StoreServer::incomingConnection(qintptr descriptor) {
    // Owned by the server: whatever is still open when it goes is closed with it.
    new StoreConnection(descriptor, configuration_, router_, faults_, this);
}
