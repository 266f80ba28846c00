#pragma once

#include <QByteArray>

#include <functional>
#include <map>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QObject;
class QThread;

namespace platform {

// The process's one network thread: a Qt event loop that owns the network
// access managers and every transfer. Started on first use, with Qt's
// networking made ready; transfers still running when the process exits are
// dropped. Work handed to it runs there in the order it was posted.
//
// It runs whether or not the program has a QCoreApplication (see the .cpp
// for how).
class NetworkThread {
public:
    static NetworkThread& shared();

    // Runs the work on the network thread, after the work posted before it.
    void post(std::function<void()> work);
    bool isCurrent() const;

    // The object transfers are parented to (network thread only).
    QObject* context() const { return context_; }
    // Sends a GET through the manager for requests checked against one set
    // of trusted certificates, named by `trustKey` (empty: the system's
    // only). Qt keeps one pool of connections per manager and reuses a
    // connection whatever the TLS settings of the request that comes along,
    // so requests with different trust must not share a manager. Network
    // thread only.
    QNetworkReply* get(const QByteArray& trustKey, const QNetworkRequest& request);

    NetworkThread(const NetworkThread&) = delete;
    NetworkThread& operator=(const NetworkThread&) = delete;

private:
    NetworkThread();
    void stop();

    struct Manager {
        QNetworkAccessManager* manager = nullptr;
        bool used = false;
    };
    Manager& manager(const QByteArray& trustKey);

    QThread* thread_ = nullptr;
    QObject* context_ = nullptr;
    std::map<QByteArray, Manager> managers_; // network thread only
};

} // namespace platform
