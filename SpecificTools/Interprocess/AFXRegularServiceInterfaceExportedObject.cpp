#include "AFXRegularServiceInterfaceExportedObject.h"

#include "AFXRegularServiceInterface.h"
#include "platform/XPCListenerEndpoint.h"
#include "support/BRValueOrErrorObject.h"

AFXRegularServiceInterfaceExportedObject::AFXRegularServiceInterfaceExportedObject(
    std::weak_ptr<AFXRegularServiceInterface> object)
    : object_(std::move(object)) {}

void AFXRegularServiceInterfaceExportedObject::invokeSelector(const QString& selector,
                                                              const QList<platform::Value>& arguments,
                                                              platform::XPCReply reply) {
    const auto object = object_.lock();
    if (!object) {
        return;
    }
    // Handlers are copyable; the reply is not.
    auto sharedReply = std::make_shared<platform::XPCReply>(std::move(reply));
    if (selector == AFXRegularServiceInterface::EstablishReportingStreamSelector) {
        object->establishReportingStreamWithTierNamed(
            arguments.value(0).toString(), arguments.value(1).toObject<platform::XPCListenerEndpoint>(),
            [sharedReply](const BRValueOrError<QUuid>& result) {
                sharedReply->send({platform::Value(BRValueOrErrorObject::makeWithHolder(result.erased()))});
            });
    } else if (selector == AFXRegularServiceInterface::PerformInterprocessRequestSelector) {
        object->performInterprocessRequest(
            arguments.value(0).toObject<AFXInterprocessRequest>(),
            [sharedReply](const BRAnyValueOrError& result) {
                sharedReply->send({platform::Value(BRValueOrErrorObject::makeWithHolder(result))});
            });
    }
}
