#include "BRReachability.h"

#include "BRLog.h"
#include "platform/DispatchQueue.h"

#include <QCoreApplication>
#include <QNetworkInformation>

namespace {

BRReachability::Status statusFrom(QNetworkInformation::Reachability reachability) {
    // A local or site network does not reach the internet; an unknown answer
    // must not hold work back.
    switch (reachability) {
    case QNetworkInformation::Reachability::Disconnected:
    case QNetworkInformation::Reachability::Local:
    case QNetworkInformation::Reachability::Site:
        return BRReachability::NotReachable;
    case QNetworkInformation::Reachability::Online:
    case QNetworkInformation::Reachability::Unknown:
        return BRReachability::Reachable;
    }
    return BRReachability::Reachable;
}

// The platform's monitor, loaded once per process; null without a backend.
QNetworkInformation* platformInformation() {
    static QNetworkInformation* information = [] {
        const bool loaded =
            QCoreApplication::instance() != nullptr &&
            QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
        if (!loaded) {
            BRLogInfo("No network reachability backend on this machine: the network counts as reachable");
            return static_cast<QNetworkInformation*>(nullptr);
        }
        return QNetworkInformation::instance();
    }();
    return information;
}

} // namespace

std::shared_ptr<BRReachability> BRReachability::makeForInternetConnection() {
    auto reachability = std::shared_ptr<BRReachability>(new BRReachability);
    reachability->observePlatform();
    return reachability;
}

BRReachability::~BRReachability() {
    QObject::disconnect(connection_);
}

void BRReachability::observePlatform() {
    auto* information = platformInformation();
    if (information == nullptr) {
        return;
    }
    status_ = statusFrom(information->reachability());
    std::weak_ptr<BRReachability> weakSelf = shared_from_this();
    // Reports come on the monitor's thread; the subscribers hear them on
    // the utility queue, so a direct connection is all that is needed.
    connection_ = QObject::connect(
        information, &QNetworkInformation::reachabilityChanged, information,
        [weakSelf](QNetworkInformation::Reachability reachability) {
            if (auto self = weakSelf.lock()) {
                self->reachabilityDidChange(statusFrom(reachability));
            }
        },
        Qt::DirectConnection);
}

BRReachability::Status BRReachability::status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

QUuid BRReachability::subscribeForChangesWithBlock(ChangeBlock block) {
    const QUuid token = QUuid::createUuid();
    std::lock_guard lock(mutex_);
    subscribers_.insert(token, std::move(block));
    return token;
}

void BRReachability::unsubscribeForChangesWithToken(const QUuid& token) {
    std::lock_guard lock(mutex_);
    subscribers_.remove(token);
}

void BRReachability::reachabilityDidChange(Status status) {
    QList<ChangeBlock> blocks;
    {
        std::lock_guard lock(mutex_);
        if (status_ == status) {
            return;
        }
        status_ = status;
        blocks = subscribers_.values();
    }
    const auto utility = platform::DispatchQueue::global(platform::QualityOfService::Utility);
    for (auto& block : blocks) {
        utility->async([block, status] { block(status); });
    }
}
