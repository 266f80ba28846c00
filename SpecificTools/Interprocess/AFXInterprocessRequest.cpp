#include "AFXInterprocessRequest.h"

#include "platform/ValueClasses.h"

AFX_DEFINE_ABSTRACT_RECORD(AFXInterprocessRequest, AFXBaseMutableModelObject,
                           AFX_FIELD(serviceID, {AFXServiceID::staticClass()}),
                           AFX_FIELD(reportStreamID, {platform::ValueClasses::uuid()}),
                           AFX_FIELD(reportSessionID, {platform::ValueClasses::uuid()}))

const platform::Class* AFXInterprocessRequest::responseClass() const {
    BRAssertAbstract();
}

void AFXInterprocessRequest::performOnService(AFXBaseService&, AFXInterprocessReportHandler,
                                              AFXInterprocessResponseHandler) {
    BRAssertAbstract();
}

std::shared_ptr<platform::Object> AFXInterprocessRequest::copy() const {
    auto copied = std::static_pointer_cast<AFXInterprocessRequest>(AFXBaseMutableModelObject::copy());
    copied->requestingTierName_ = requestingTierName_;
    return copied;
}
