#pragma once

#include <QSslConfiguration>
#include <QTcpServer>

class FaultPlan;
class Router;

// Accepts connections and gives each its own StoreConnection, which lives as
// the server's child until its peer goes.
class StoreServer : public QTcpServer {
public:
    // The router and the fault plan must outlive the server.
    StoreServer(const QSslConfiguration& configuration, const Router& router, FaultPlan& faults);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    QSslConfiguration configuration_;
    const Router& router_;
    FaultPlan& faults_;
};
