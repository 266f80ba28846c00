#pragma once

#include "BRBlockBasedFileObserver.h"
#include "BRFileMonitor.h"
#include "BRFileObserver.h"
#include "platform/DispatchQueue.h"
#include "platform/FileReference.h"

#include <QUrl>

#include <functional>
#include <map>
#include <memory>
#include <set>

// The shared registry of file observation. Observers register for an item;
// a recursive registration also watches every enclosing folder below the
// root folder, so that moving or deleting any of them reaches the item's
// observers with the item's own URL and paths.
//
// Every table lives on the internal queue "file-monitoring-manager", where
// the monitors it makes also deliver; public operations submit to it
// asynchronously and take effect in call order. Observers are called
// asynchronously on the global utility queue.
//
// A monitor stays only while someone needs it: when an item loses its last
// observer and no observed item lies below it, its monitor is released, so
// a later registration starts afresh with a monitor of its own.
class BRFileMonitoringManager : public BRFileObserver,
                                public std::enable_shared_from_this<BRFileMonitoringManager> {
public:
    static std::shared_ptr<BRFileMonitoringManager> defaultMonitor();

    void addObserver(std::shared_ptr<BRFileObserver> observer, const QUrl& url, bool isRecursive);
    void removeObserver(std::shared_ptr<BRFileObserver> observer, const QUrl& url, bool isRecursive);
    // A block observer for every event; the answer is the token for removal.
    std::shared_ptr<BRBlockBasedFileObserver> addObserverOfURL(const QUrl& url, bool isRecursive,
                                                               BRBlockBasedFileObserver::Block block);
    std::shared_ptr<BRBlockBasedFileObserver> addObserverOfURL(const QUrl& url, bool isRecursive,
                                                               unsigned long flags,
                                                               BRBlockBasedFileObserver::Block block);
    void removeObserver(const std::shared_ptr<BRBlockBasedFileObserver>& token);

    const std::shared_ptr<platform::DispatchQueue>& internalQueue() const { return internalQueue_; }

    // The events of the monitors the manager made.
    void didChangeWithFlags(unsigned long flags, const BRFileReferenceURL& url) override;
    void didInvalidateObservationOfFileAtURL(const BRFileReferenceURL& url) override;
    void didDeleteFileAtURL(const BRFileReferenceURL& url, const QUrl& oldFilePathURL) override;
    void didWriteToFileAtURL(const BRFileReferenceURL& url) override;
    void didExtendFileAtURL(const BRFileReferenceURL& url) override;
    void didChangeAttributesOfFileAtURL(const BRFileReferenceURL& url) override;
    void didChangeLinkCountOfFileAtURL(const BRFileReferenceURL& url) override;
    void didMoveFileAtURL(const BRFileReferenceURL& url, const QUrl& fromFilePathURL,
                          const QUrl& toFilePathURL) override;
    void didRevokeFileAtURL(const BRFileReferenceURL& url) override;

private:
    // Items are told apart by device and inode: a file reference stays on
    // its item, so the pair is not reused while the tables hold it.
    using Key = std::pair<std::uint64_t, std::uint64_t>;
    using ObserverBlock =
        std::function<void(const std::shared_ptr<BRFileObserver>&, const BRFileReferenceURL&)>;
    struct ObservedItem {
        BRFileReferenceURL url;
        std::set<std::shared_ptr<BRFileObserver>> observers;
    };

    BRFileMonitoringManager();
    static Key keyOf(const BRFileReferenceURL& url);
    using ObserverChange = void (BRFileMonitoringManager::*)(const std::shared_ptr<BRFileObserver>&,
                                                             const BRFileReferenceURL&,
                                                             const BRFileReferenceURL&, bool);
    // Finds the item at `url` and applies the change on the internal queue.
    void onItemAtURL(std::shared_ptr<BRFileObserver> observer, const QUrl& url, bool isRecursive,
                     ObserverChange change);
    void addObserverLocked(const std::shared_ptr<BRFileObserver>& observer,
                           const BRFileReferenceURL& monitoredURL, const BRFileReferenceURL& observedURL,
                           bool isRecursive);
    void removeObserverLocked(const std::shared_ptr<BRFileObserver>& observer,
                              const BRFileReferenceURL& monitoredURL, const BRFileReferenceURL& observedURL,
                              bool isRecursive);
    void releaseMonitorIfUnusedLocked(const Key& key);
    static BRFileReferenceURL parentOf(const BRFileReferenceURL& url);
    // Hops to the internal queue, then calls the block for the observers of
    // the item and, when allowed, of the observed items below it.
    void forEachOfFileObserversForMonitoredURL(const BRFileReferenceURL& url, bool isRelatedURLsAllowed,
                                               ObserverBlock block);
    static void notifyAsync(std::function<void()> call);

    const std::shared_ptr<platform::DispatchQueue> internalQueue_;
    // On the internal queue.
    std::map<Key, std::shared_ptr<BRFileMonitor>> fileMonitorsByMonitoredURL_;
    std::map<Key, ObservedItem> fileObserversByObservedURL_;
    std::map<Key, std::map<Key, BRFileReferenceURL>> observedURLsByMonitoredURLs_;
    // How many recursive observers each item has: its enclosing folders stay
    // watched for it while one is left, and only then.
    std::map<Key, int> recursiveObserverCounts_;
};
