#pragma once

#include "SpecificTools/Interprocess/AFXRegularManagementServer.h"
#include "SpecificTools/Model/AFXEnvironment.h"

#include <QHash>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

// The service the test server program offers: echoes, holds requests until
// released, runs termination votes and answers a fixed environment.
class IPCTestService : public AFXRegularManagementServer {
public:
    static std::shared_ptr<IPCTestService>
    make(const std::shared_ptr<AFXServiceID>& serviceID,
         const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
         const std::shared_ptr<AFXServicesFactory>& servicesFactory);

    std::int64_t processIdentifier() const;
    void hold(const QString& holdKey, std::function<void()> answer);
    void release(const QString& holdKey, std::function<void(const BRValueOrError<std::int64_t>&)> callback);
    void vote(std::function<void(const BRValueOrError<bool>&)> callback);
    void fetchCurrentEnvironmentUpdated(
        bool updated, std::function<void(const BRValueOrError<std::shared_ptr<AFXEnvironment>>&)> callback);

private:
    using AFXRegularManagementServer::AFXRegularManagementServer;

    std::shared_ptr<AFXEnvironment> environment_;
    // Requests arrive on several XPC threads; the table is tiny and the
    // lock is never held while answering.
    std::mutex mutex_;
    QHash<QString, QList<std::function<void()>>> heldAnswers_;
};
