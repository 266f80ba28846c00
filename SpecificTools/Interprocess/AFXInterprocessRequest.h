#pragma once

#include "AFXInterprocessReport.h"
#include "AFXInterprocessResponse.h"
#include "AFXRecordField.h"
#include "AFXServiceID.h"
#include "SpecificTools/Model/AFXBaseMutableModelObject.h"
#include "support/BRAssertions.h"
#include "support/BRValueOrError.h"

#include <QString>
#include <QUuid>

#include <functional>
#include <memory>

class AFXBaseService;

// A report produced while a request runs.
using AFXInterprocessReportHandler = std::function<void(const std::shared_ptr<AFXInterprocessReport>&)>;
// The one outcome of a request: a response record as the value, or an error.
using AFXInterprocessResponseHandler = std::function<void(const BRAnyValueOrError&)>;

// The base of every request to a management service. The sending side
// fills the request's own fields; the transport writes the reporting stream
// and session just before each send. The tier name is local knowledge of
// the sender and never travels.
class AFXInterprocessRequest : public AFXBaseMutableModelObject {
    AFX_DECLARE_RECORD(AFXInterprocessRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXServiceID>, serviceID, setServiceID)
    AFX_RECORD_FIELD(QUuid, reportStreamID, setReportStreamID)
    AFX_RECORD_FIELD(QUuid, reportSessionID, setReportSessionID)

public:
    QString requestingTierName() const { return requestingTierName_; }
    void setRequestingTierName(const QString& tierName) { requestingTierName_ = tierName; }

    // Class operations, asked of an instance: the response class every
    // concrete request names, and its report class or null when it reports
    // nothing.
    virtual const platform::Class* responseClass() const;
    virtual const platform::Class* reportClass() const { return nullptr; }

    // The serving side: calls the service's operation with the request's
    // fields and turns its outcome into the response class.
    virtual void performOnService(AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
                                  AFXInterprocessResponseHandler responseHandler);

    // A copy keeps the tier name too, so a copied request can still be sent.
    std::shared_ptr<platform::Object> copy() const override;

protected:
    AFXInterprocessRequest() = default;

    // The dispatch of a request without reports: the service's callback,
    // turned into the response handler's outcome (an error as it is; a value
    // wrapped in the response `makeResponse` builds from it).
    template <typename T>
    static std::function<void(const BRValueOrError<T>&)>
    makeResponseCallback(const AFXInterprocessReportHandler& reportHandler,
                         AFXInterprocessResponseHandler responseHandler,
                         std::function<std::shared_ptr<AFXInterprocessResponse>(const T&)> makeResponse) {
        BRParameterAssertText(!reportHandler, "nil == reportHandler");
        return makeValueResponseCallback<T>(std::move(responseHandler), std::move(makeResponse));
    }

    // The same without the check, for requests whose service operation
    // reports progress.
    template <typename T>
    static std::function<void(const BRValueOrError<T>&)> makeValueResponseCallback(
        AFXInterprocessResponseHandler responseHandler,
        std::function<std::shared_ptr<AFXInterprocessResponse>(const T&)> makeResponse) {
        return [responseHandler = std::move(responseHandler),
                makeResponse = std::move(makeResponse)](const BRValueOrError<T>& result) {
            if (const T* value = result.value()) {
                responseHandler(BRAnyValueOrError::makeWithValue(platform::Value(makeResponse(*value))));
            } else {
                responseHandler(BRAnyValueOrError::makeWithError(*result.error()));
            }
        };
    }

private:
    QString requestingTierName_;
};

// In the body of a concrete request class: the response class it names and
// its serving-side dispatch, defined in the request's source file.
#define AFX_REQUEST_RESPONDING_WITH(ResponseName)                                                            \
public:                                                                                                      \
    const platform::Class* responseClass() const override {                                                  \
        return ResponseName::staticClass();                                                                  \
    }                                                                                                        \
    void performOnService(AFXBaseService& service, AFXInterprocessReportHandler reportHandler,               \
                          AFXInterprocessResponseHandler responseHandler) override;
