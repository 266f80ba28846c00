#pragma once

#include "HttpRequest.h"
#include "HttpResponse.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSslConfiguration>
#include <QTimer>

#include <optional>

class FaultPlan;
class QSslSocket;
class Router;

// One client connection: reads requests one after the other (keep-alive,
// pipelining), has the router answer them and streams each response with
// back-pressure, applying the fault plan (cuts, chunking, pacing). Deletes
// itself once the connection is gone.
class StoreConnection : public QObject {
public:
    StoreConnection(qintptr descriptor, const QSslConfiguration& configuration, const Router& router,
                    FaultPlan& faults, QObject* parent);
    ~StoreConnection() override;

private:
    struct Sending {
        HttpResponse response;
        QByteArray method;
        QByteArray target;
        QByteArray range;
        bool sendBody = false;
        bool chunked = false;
        bool keepAlive = true;
        // Whether the store's faults touch this response.
        bool faulty = false;
        std::optional<qint64> cut;
        qint64 sent = 0;
        bool cutCheckQueued = false;
        QElapsedTimer clock;
    };

    void readIncoming();
    void processIncoming();
    void answer(const HttpRequest& request);
    void reject(int status);
    void start(HttpResponse response, const QByteArray& method, const QByteArray& target,
               const QByteArray& range, bool keepAlive);
    void pump();
    // How many bytes of the next block the rate allows now; 0 after arming
    // the pacing timer for when more are allowed.
    qint64 paced(qint64 wanted);
    void finish();
    void cutOff();
    // Ends the connection abruptly once control is back in the event loop.
    void abortLater();
    void closed();
    void shutDown();
    qint64 unsentBytes() const;
    static void log(const Sending& sending, const char* outcome);

    QSslSocket* socket_;
    const Router& router_;
    FaultPlan& faults_;
    QByteArray incoming_;
    // A request whose head arrived, waiting for the rest of its body.
    std::optional<HttpRequest> waiting_;
    qint64 waitingBodyLength_ = 0;
    std::optional<Sending> sending_;
    QTimer paceTimer_;
    QTimer idleTimer_;
    bool closing_ = false;
};
