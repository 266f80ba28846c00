#pragma once

#include "BRFileObserver.h"
#include "platform/DispatchQueue.h"
#include "platform/DispatchSource.h"

#include <QUrl>

#include <memory>
#include <set>

// Watches one file-system item through a vnode source and tells its
// observers of every event. The item is followed by identity: after a move
// `filePathURL` is its new path. The source ends at the first deletion or
// revocation; the monitor then reports nothing more.
//
// State lives on the internal queue, where the source delivers; observers
// are called asynchronously on the global utility queue.
class BRFileMonitor : public std::enable_shared_from_this<BRFileMonitor> {
public:
    // With a new internal queue named "file-manager-" + the item's name.
    static std::shared_ptr<BRFileMonitor> makeWithURL(const QUrl& url);
    // Null when there is no item at the URL or it cannot be watched.
    static std::shared_ptr<BRFileMonitor> makeWithURL(const QUrl& url,
                                                      std::shared_ptr<platform::DispatchQueue> internalQueue);
    ~BRFileMonitor();
    BRFileMonitor(const BRFileMonitor&) = delete;
    BRFileMonitor& operator=(const BRFileMonitor&) = delete;

    // Both take effect asynchronously on the internal queue.
    void addObserver(std::shared_ptr<BRFileObserver> observer);
    void removeObserver(std::shared_ptr<BRFileObserver> observer);

    const BRFileReferenceURL& fileReferenceURL() const { return fileReferenceURL_; }
    const std::shared_ptr<platform::DispatchQueue>& internalQueue() const { return internalQueue_; }
    // On the internal queue: the item's path as last known.
    QUrl filePathURL() const;
    // On the internal queue: whether the event source still runs.
    bool isWatching() const;

private:
    BRFileMonitor(BRFileReferenceURL reference, std::shared_ptr<platform::DispatchQueue> internalQueue);
    void handleEventWithFlags(unsigned long flags);
    void didCloseHandler();

    const BRFileReferenceURL fileReferenceURL_;
    const std::shared_ptr<platform::DispatchQueue> internalQueue_;
    // On the internal queue.
    QUrl filePathURL_;
    std::set<std::shared_ptr<BRFileObserver>> observers_;
    std::shared_ptr<platform::DispatchSource> watcher_;
};
