#pragma once

#include <QString>

#include <cstdint>

class BRStatsdClient;

// Told of every line a statsd client sends, on the client's internal queue.
// Both methods are optional.
class BRStatsdClientDelegate {
public:
    virtual ~BRStatsdClientDelegate() = default;

    virtual void statsdClientDidSendCommand(BRStatsdClient& /*client*/, const QString& /*command*/) {}
    // `error` is the socket's error number, or -1 when no socket could be made.
    virtual void statsdClientDidFailToSendCommand(BRStatsdClient& /*client*/, const QString& /*command*/,
                                                  std::int64_t /*error*/) {}
};
