#pragma once

#include "Error.h"
#include "Value.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace platform {

class XPCConnection;

// Sends messages of the connection's remote object interface. A protocol's
// abstract class is implemented once by a proxy class that turns each
// operation into `invoke`, so callers write `proxy->operation(…)`.
//
// Every call ends in exactly one of: `reply` with the decoded reply
// arguments, or the proxy's error handler with the transport error — however
// the peer ends (quits, crashes, never answers before it goes, the
// connection is invalidated) and however bad the reply (undecodable, of a
// class outside the lists). No time-out cuts a pending call short. Both run
// on the connection's queue. A selector without reply block only ever gets
// the error handler, and only when the message could not be delivered.
class XPCRemoteObjectProxy {
public:
    XPCRemoteObjectProxy(std::weak_ptr<XPCConnection> connection, std::function<void(const Error&)> errorHandler);

    // `selector` must belong to the remote object interface and `arguments`
    // match its count (assertion: a programming error). Arguments that
    // cannot be archived end in the error handler.
    void invoke(const QString& selector, const QList<Value>& arguments,
                std::function<void(const QList<Value>&)> reply = {}) const;

private:
    std::weak_ptr<XPCConnection> connection_;
    std::function<void(const Error&)> errorHandler_;
};

} // namespace platform
