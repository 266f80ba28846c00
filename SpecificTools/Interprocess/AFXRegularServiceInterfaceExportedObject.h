#pragma once

#include "platform/XPCExportedObject.h"

#include <memory>

class AFXRegularServiceInterface;

// Delivers a connection's messages of the service interface to the object
// implementing it. The object is held weakly: messages arriving after it
// went away are dropped, which answers their callers with an error.
class AFXRegularServiceInterfaceExportedObject : public platform::XPCExportedObject {
public:
    explicit AFXRegularServiceInterfaceExportedObject(std::weak_ptr<AFXRegularServiceInterface> object);

    void invokeSelector(const QString& selector, const QList<platform::Value>& arguments,
                        platform::XPCReply reply) override;

private:
    std::weak_ptr<AFXRegularServiceInterface> object_;
};
