#include "AFXReportsStreamInterfaceExportedObject.h"

#include "AFXReportsStreamInterface.h"

AFXReportsStreamInterfaceExportedObject::AFXReportsStreamInterfaceExportedObject(
    std::weak_ptr<AFXReportsStreamInterface> object)
    : object_(std::move(object)) {}

void AFXReportsStreamInterfaceExportedObject::invokeSelector(const QString& selector,
                                                             const QList<platform::Value>& arguments,
                                                             platform::XPCReply reply) {
    const auto object = object_.lock();
    if (!object) {
        return;
    }
    if (selector == AFXReportsStreamInterface::DeliverReportSelector) {
        QList<QUuid> sessionIDs;
        for (const platform::Value& sessionID : arguments.value(1).toArray()) {
            sessionIDs.append(sessionID.toUUID());
        }
        object->deliverReport(arguments.value(0).toObject<AFXInterprocessReport>(), sessionIDs);
    } else if (selector == AFXReportsStreamInterface::PrepareForTerminationSelector) {
        auto sharedReply = std::make_shared<platform::XPCReply>(std::move(reply));
        object->prepareForTerminationWithCallback(
            [sharedReply](bool agrees) { sharedReply->send({platform::Value(agrees)}); });
    }
}
