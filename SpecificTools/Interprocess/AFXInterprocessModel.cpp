#include "AFXInterprocessModel.h"

#include "AFXInterprocessRequest.h"
#include "AFXRegularServiceInterface.h"
#include "AFXReportsStreamInterface.h"
#include "platform/ValueClasses.h"
#include "platform/XPCListenerEndpoint.h"
#include "support/BRValueOrErrorObject.h"

namespace {

// Response and report classes are class operations asked of an instance.
std::shared_ptr<AFXInterprocessRequest> prototypeOfRequestClass(const platform::Class* requestClass) {
    BRParameterAssertText(requestClass && requestClass->isSubclassOf(AFXInterprocessRequest::staticClass()),
                          "[requestClass isSubclassOfClass:[AFXInterprocessRequest class]]");
    auto prototype = std::dynamic_pointer_cast<AFXInterprocessRequest>(requestClass->make());
    BRParameterAssertText(prototype, "prototype");
    return prototype;
}

} // namespace

platform::XPCInterface
interprocessInterfaceWithRequestClasses(const QList<const platform::Class*>& requestClasses) {
    platform::XPCInterface interface(QStringLiteral("AFXRegularServiceInterface"));
    const QString& establish = AFXRegularServiceInterface::EstablishReportingStreamSelector;
    interface.addSelector(establish, 2, 1);
    interface.setClasses({platform::ValueClasses::string()}, establish, 0, false);
    interface.setClasses({platform::XPCListenerEndpoint::staticClass()}, establish, 1, false);
    interface.setClasses({BRValueOrErrorObject::staticClass(), platform::ValueClasses::uuid()}, establish, 0,
                         true);

    const QString& perform = AFXRegularServiceInterface::PerformInterprocessRequestSelector;
    interface.addSelector(perform, 1, 1);
    platform::XPCInterface::Classes replyClasses{BRValueOrErrorObject::staticClass()};
    for (const platform::Class* requestClass : requestClasses) {
        const platform::Class* responseClass = prototypeOfRequestClass(requestClass)->responseClass();
        if (!replyClasses.contains(responseClass)) {
            replyClasses.append(responseClass);
        }
    }
    interface.setClasses(requestClasses, perform, 0, false);
    interface.setClasses(replyClasses, perform, 0, true);
    return interface;
}

platform::XPCInterface
reportsStreamInterfaceWithRequestClasses(const QList<const platform::Class*>& requestClasses) {
    platform::XPCInterface interface(QStringLiteral("AFXReportsStreamInterface"));
    const QString& deliver = AFXReportsStreamInterface::DeliverReportSelector;
    interface.addSelector(deliver, 2, std::nullopt);
    platform::XPCInterface::Classes reportClasses;
    for (const platform::Class* requestClass : requestClasses) {
        const platform::Class* reportClass = prototypeOfRequestClass(requestClass)->reportClass();
        if (reportClass && !reportClasses.contains(reportClass)) {
            reportClasses.append(reportClass);
        }
    }
    interface.setClasses(reportClasses, deliver, 0, false);
    interface.setClasses({platform::ValueClasses::array(), platform::ValueClasses::uuid()}, deliver, 1,
                         false);
    interface.addSelector(AFXReportsStreamInterface::PrepareForTerminationSelector, 0, 1);
    return interface;
}
