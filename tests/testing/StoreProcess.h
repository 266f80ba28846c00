#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

namespace testing_support {

// A development store (`kestrel-store`) run as a real process for one test:
// it serves `servedFolder` over HTTPS on a free loopback port with a CA of
// its own. Extra arguments are the store's own switches (fault injection).
// The process is stopped when the object goes away.
class StoreProcess {
public:
    // The running store, or null (with a test failure added) when it did not
    // come up within a few seconds.
    static std::unique_ptr<StoreProcess> start(const QString& servedFolder, const QStringList& arguments = {});
    ~StoreProcess();
    StoreProcess(const StoreProcess&) = delete;
    StoreProcess& operator=(const StoreProcess&) = delete;

    // "https://127.0.0.1:PORT"
    QUrl baseURL() const { return baseURL_; }
    // The PEM file of the store's CA, for KESTREL_CA_BUNDLE.
    QString caBundlePath() const { return caBundlePath_; }
    // The store's standard error so far (its request log).
    QString log() const;

private:
    StoreProcess() = default;
    struct Process;
    std::unique_ptr<Process> process_;
    QUrl baseURL_;
    QString caBundlePath_;
};

} // namespace testing_support
