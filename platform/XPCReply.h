#pragma once

#include "Error.h"
#include "Value.h"

#include <QList>

#include <functional>
#include <memory>

namespace platform {

// The reply block of one received message, handed to the exported object.
// Calling `send` answers the caller with the reply's arguments (encoded and
// checked against the interface's reply lists on the receiving end). A
// reply is sent at most once: later calls are ignored. A reply that is
// dropped without being sent answers the caller with an error, so every
// call ends in exactly one of reply or error. Movable, not copyable; may be
// moved to and sent from any thread. A message without reply block gets an
// empty reply whose `send` does nothing.
class XPCReply {
public:
    XPCReply() = default;
    explicit XPCReply(std::function<void(const QList<Value>*)> deliver);
    XPCReply(XPCReply&&) noexcept;
    XPCReply& operator=(XPCReply&&) noexcept;
    XPCReply(const XPCReply&) = delete;
    XPCReply& operator=(const XPCReply&) = delete;
    ~XPCReply();

    bool expectsReply() const;
    void send(const QList<Value>& arguments);

private:
    // Called once with the arguments, or with null when the reply is dropped.
    std::function<void(const QList<Value>*)> deliver_;
};

} // namespace platform
