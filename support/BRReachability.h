#pragma once

#include <QHash>
#include <QMetaObject>
#include <QUuid>

#include <functional>
#include <memory>
#include <mutex>

// Whether the internet can be reached, and changes of it, from the
// platform's network information. A machine without a reachability backend
// counts as reachable (it says so in the log once per process).
class BRReachability : public std::enable_shared_from_this<BRReachability> {
public:
    enum Status : int { NotReachable = 0, Reachable = 1 };
    using ChangeBlock = std::function<void(Status status)>;

    static std::shared_ptr<BRReachability> makeForInternetConnection();
    ~BRReachability();

    Status status() const;
    // The block runs on the global utility queue after every change.
    QUuid subscribeForChangesWithBlock(ChangeBlock block);
    void unsubscribeForChangesWithToken(const QUuid& token);

    // Records a new status and tells the subscribers when it changed; the
    // platform's reports arrive here.
    void reachabilityDidChange(Status status);

private:
    BRReachability() = default;
    void observePlatform();

    // Subscriptions come from any thread, the platform reports on its own.
    mutable std::mutex mutex_;
    Status status_ = Reachable;
    QHash<QUuid, ChangeBlock> subscribers_;
    QMetaObject::Connection connection_;
};
