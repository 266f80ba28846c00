#pragma once

#include "AFXInterprocessReport.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>

// What each client exports on its anonymous listener, for the serving
// process to call back.
class AFXReportsStreamInterface {
public:
    static const QString DeliverReportSelector;         // "deliverReport:reportSessionIDs:"
    static const QString PrepareForTerminationSelector; // "prepareForTerminationWithCallback:"

    virtual ~AFXReportsStreamInterface() = default;

    virtual void deliverReport(const std::shared_ptr<AFXInterprocessReport>& report,
                               const QList<QUuid>& reportSessionIDs) = 0;
    // The callback receives true when the client agrees that the server ends.
    virtual void prepareForTerminationWithCallback(std::function<void(bool)> callback) = 0;
};
