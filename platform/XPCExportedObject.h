#pragma once

#include "Value.h"
#include "XPCReply.h"

#include <QList>
#include <QString>

namespace platform {

// What a connection exports: the receiving end of a protocol. The
// connection decodes each message against its exported interface and
// calls `invokeSelector` with the arguments, on the connection's queue;
// only selectors of the interface arrive, with as many arguments as the
// interface declares. A protocol's abstract class is adapted to this once
// (one dispatch per protocol, not per call site).
class XPCExportedObject {
public:
    virtual ~XPCExportedObject() = default;
    virtual void invokeSelector(const QString& selector, const QList<Value>& arguments, XPCReply reply) = 0;
};

} // namespace platform
