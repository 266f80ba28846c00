#pragma once

#include "Object.h"

#include <QString>

namespace platform {

// Names an anonymous listener so that another process can connect to it:
// the unique bus name of the listening process's connection and the object
// path of the listener. An archivable value ("NSXPCListenerEndpoint") that
// travels inside messages; two endpoints are equal when both parts are.
class XPCListenerEndpoint : public Object {
    PLATFORM_DECLARE_CLASS()
public:
    static std::shared_ptr<XPCListenerEndpoint> make(const QString& uniqueBusName, const QString& objectPath);

    const QString& uniqueBusName() const;
    const QString& objectPath() const;

    bool isEqual(const Object& other) const override;
    std::uint64_t hash() const override;
    QString description() const override;

    bool supportsSecureCoding() const override { return true; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    // Refuses names and paths that are not valid on the bus.
    bool initWithCoder(KeyedUnarchiver& coder) override;

private:
    QString uniqueBusName_;
    QString objectPath_;
};

} // namespace platform
