#pragma once

#include "support/BRStatsdClient.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

class AFXEnvironmentID;

// The framework's metrics: every metric is named
// "kestrel.<environment's statsd ID>.<framework version>.<name>" and sent
// through a BRStatsdClient under the framework's namespace key; in an
// environment without a statsd ID metrics are dropped. What was sent, or
// failed to be, is logged with the namespace key hidden as "<statsdID>".
// Metrics and the environment may be used from any thread.
class AFXStatsdClient : public BRStatsdClientDelegate, public std::enable_shared_from_this<AFXStatsdClient> {
public:
    // The framework's statsd endpoint ("localhost", where the statsd agent
    // runs, unless KESTREL_STATSD_HOST names another host) on the default port.
    static std::shared_ptr<AFXStatsdClient> make();
    // The same metrics sent to another statsd server.
    static std::shared_ptr<AFXStatsdClient> makeWithHost(const QString& host, std::int32_t port);

    // The framework's namespace key, the first component of every line.
    static const QString NamespaceKey;

    std::shared_ptr<AFXEnvironmentID> environmentID() const;
    void setEnvironmentID(std::shared_ptr<AFXEnvironmentID> environmentID);
    const std::shared_ptr<BRStatsdClient>& client() const { return client_; }
    // The framework version with "." replaced by "_".
    const QString& versionPayload() const { return versionPayload_; }

    // "kestrel.<statsdID>.<version payload>.<name>", or none without a statsd ID.
    std::optional<QString> makeFormattedNameOfName(const QString& name) const;

    void metricsNamedRecordCount(const QString& name, long count);
    void metricsNamedRecordSample(const QString& name, long count, double sampleRate);
    void metricsNamedRecordTiming(const QString& name, double seconds);
    void metricsNamedSetGauge(const QString& name, long value);
    void metricsNamedAdjustGauge(const QString& name, long value);

    void statsdClientDidSendCommand(BRStatsdClient& client, const QString& command) override;
    void statsdClientDidFailToSendCommand(BRStatsdClient& client, const QString& command,
                                          std::int64_t error) override;

private:
    explicit AFXStatsdClient(std::shared_ptr<BRStatsdClient> client);
    QString hideNamespace(const QString& command) const;

    const std::shared_ptr<BRStatsdClient> client_;
    const QString versionPayload_;
    // A lock rather than a queue: reading the identifier is all a metric
    // needs, and metrics come from every thread.
    mutable std::mutex mutex_;
    std::shared_ptr<AFXEnvironmentID> environmentID_;
};
