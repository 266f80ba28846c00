#pragma once

#include "platform/XPCExportedObject.h"

#include <memory>

class AFXReportsStreamInterface;

// Delivers a report connection's messages to the object implementing the
// reporting-stream interface, held weakly (see
// AFXRegularServiceInterfaceExportedObject).
class AFXReportsStreamInterfaceExportedObject : public platform::XPCExportedObject {
public:
    explicit AFXReportsStreamInterfaceExportedObject(std::weak_ptr<AFXReportsStreamInterface> object);

    void invokeSelector(const QString& selector, const QList<platform::Value>& arguments,
                        platform::XPCReply reply) override;

private:
    std::weak_ptr<AFXReportsStreamInterface> object_;
};
