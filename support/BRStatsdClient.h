#pragma once

#include "BRStatsdClientDelegate.h"
#include "platform/DispatchQueue.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>

// Sends statsd lines (counters, sampled counters, timings, gauges) under a
// namespace as UDP datagrams on one connected socket, made on the first
// send and made again after a send finally failed. Every send runs on the
// internal queue ("com.brindle.statsd-client.queue"), which may block for
// name resolution and up to a second per send; callers never wait. Lines
// are independent datagrams: nothing is buffered, and a line that cannot be
// sent is lost after the delegate has heard of it.
class BRStatsdClient : public std::enable_shared_from_this<BRStatsdClient> {
public:
    static constexpr std::int32_t DefaultPort = 8125;

    // `port` 0 means DefaultPort. `socket` may be a ready datagram socket
    // (a descriptor the client then owns), or -1 to make one on demand.
    // Stops the process when `host` or `nameSpace` is empty.
    static std::shared_ptr<BRStatsdClient> makeWithHost(const QString& host, std::int32_t port,
                                                        const QString& nameSpace, int socket = -1);
    ~BRStatsdClient();
    BRStatsdClient(const BRStatsdClient&) = delete;
    BRStatsdClient& operator=(const BRStatsdClient&) = delete;

    const QString& host() const { return host_; }
    std::int32_t port() const { return port_; }
    const QString& nameSpace() const { return nameSpace_; }

    std::shared_ptr<BRStatsdClientDelegate> delegate() const;
    void setDelegate(std::weak_ptr<BRStatsdClientDelegate> delegate);

    // Sends one complete line.
    void send(const QString& command);

    // "<namespace>.<name>:<count>|c"
    void metricsNamedRecordCount(const QString& name, long count);
    // "<namespace>.<name>:<count>|c|@<rate with two decimals>"
    void metricsNamedRecordSample(const QString& name, long count, double sampleRate);
    // "<namespace>.<name>:<milliseconds>|ms", the seconds times 1000 truncated.
    void metricsNamedRecordTiming(const QString& name, double seconds);
    // "<namespace>.<name>:<value>|g"
    void metricsNamedSetGauge(const QString& name, long value);
    // "<namespace>.<name>:+<value>|g", or without "+" for a negative value.
    void metricsNamedAdjustGauge(const QString& name, long value);

private:
    BRStatsdClient(QString host, std::int32_t port, QString nameSpace, int socket);

    // On the internal queue.
    void sendOnQueue(const QString& command, bool canRetry);
    bool ensureSocket();
    void dropSocket();

    const QString host_;
    const std::int32_t port_;
    const QString nameSpace_;
    const std::shared_ptr<platform::DispatchQueue> internalQueue_;
    // On the internal queue (and in the destructor, when no work is left).
    int socket_ = -1;
    // The delegate is set from any thread and read on the internal queue.
    mutable std::mutex delegateMutex_;
    std::weak_ptr<BRStatsdClientDelegate> delegate_;
};
