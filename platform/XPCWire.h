#pragma once

#include <QString>

// What the XPC layer's messages look like on the bus, shared by both ends.
namespace platform::XPCWire {

// Every call: the selector and one keyed archive per argument.
inline const QString CallSignature = QStringLiteral("saay");
// Every reply: one keyed archive per reply argument.
inline const QString ReplySignature = QStringLiteral("aay");

// The object path of a named service's listener on its connection, and the
// prefix of anonymous listeners' paths on their process's connection.
inline const QString ServicePath = QStringLiteral("/com/kestrel/XPC/Service");
inline const QString AnonymousPathPrefix = QStringLiteral("/com/kestrel/XPC/Anonymous/");

// Errors a serving end answers with.
inline const QString InvalidMessageError = QStringLiteral("com.kestrel.XPC.Error.InvalidMessage");
inline const QString ReplyDroppedError = QStringLiteral("com.kestrel.XPC.Error.ReplyDropped");
inline const QString ReplyInvalidError = QStringLiteral("com.kestrel.XPC.Error.ReplyInvalid");
inline const QString ConnectionInvalidError = QStringLiteral("com.kestrel.XPC.Error.ConnectionInvalid");
inline const QString AccessDeniedError = QStringLiteral("com.kestrel.XPC.Error.AccessDenied");

} // namespace platform::XPCWire
