#include "BRFileMonitoringManager.h"

#include "BRAssertions.h"
#include "BRDispatch.h"

#include <QDir>
#include <QFileInfo>

std::shared_ptr<BRFileMonitoringManager> BRFileMonitoringManager::defaultMonitor() {
    static const auto manager = std::shared_ptr<BRFileMonitoringManager>(new BRFileMonitoringManager);
    return manager;
}

BRFileMonitoringManager::BRFileMonitoringManager()
    : internalQueue_(BRBuildInternalDispatchQueue(QStringLiteral("file-monitoring-manager"))) {}

BRFileMonitoringManager::Key BRFileMonitoringManager::keyOf(const BRFileReferenceURL& url) {
    const auto identity = url->reference().identity();
    return {identity.device, identity.inode};
}

BRFileReferenceURL BRFileMonitoringManager::parentOf(const BRFileReferenceURL& url) {
    const QString path = url->path();
    if (path.isEmpty()) {
        return nullptr;
    }
    const QString parent = QFileInfo(path).path();
    if (parent == QLatin1String("/")) {
        return nullptr;
    }
    return platform::FileReferenceURL::makeWithFilePathURL(QUrl::fromLocalFile(parent));
}

void BRFileMonitoringManager::addObserver(std::shared_ptr<BRFileObserver> observer, const QUrl& url,
                                          bool isRecursive) {
    onItemAtURL(std::move(observer), url, isRecursive, &BRFileMonitoringManager::addObserverLocked);
}

void BRFileMonitoringManager::removeObserver(std::shared_ptr<BRFileObserver> observer, const QUrl& url,
                                             bool isRecursive) {
    onItemAtURL(std::move(observer), url, isRecursive, &BRFileMonitoringManager::removeObserverLocked);
}

void BRFileMonitoringManager::onItemAtURL(std::shared_ptr<BRFileObserver> observer, const QUrl& url,
                                          bool isRecursive, ObserverChange change) {
    BRParameterAssertText(observer, "observer");
    BRParameterAssertText(!url.isEmpty(), "url");
    internalQueue_->async(
        [weakSelf = weak_from_this(), observer = std::move(observer), url, isRecursive, change] {
            auto self = weakSelf.lock();
            const BRFileReferenceURL reference = platform::FileReferenceURL::makeWithFilePathURL(url);
            if (self && reference) {
                ((*self).*change)(observer, reference, reference, isRecursive);
            }
        });
}

std::shared_ptr<BRBlockBasedFileObserver>
BRFileMonitoringManager::addObserverOfURL(const QUrl& url, bool isRecursive,
                                          BRBlockBasedFileObserver::Block block) {
    return addObserverOfURL(url, isRecursive, BRFileEventAll, std::move(block));
}

std::shared_ptr<BRBlockBasedFileObserver>
BRFileMonitoringManager::addObserverOfURL(const QUrl& url, bool isRecursive, unsigned long flags,
                                          BRBlockBasedFileObserver::Block block) {
    auto observer = BRBlockBasedFileObserver::make(url, isRecursive, flags, std::move(block));
    addObserver(observer, url, isRecursive);
    return observer;
}

void BRFileMonitoringManager::removeObserver(const std::shared_ptr<BRBlockBasedFileObserver>& token) {
    BRParameterAssertText(token, "observer");
    removeObserver(token, token->url(), token->isRecursive());
}

void BRFileMonitoringManager::addObserverLocked(const std::shared_ptr<BRFileObserver>& observer,
                                                const BRFileReferenceURL& monitoredURL,
                                                const BRFileReferenceURL& observedURL, bool isRecursive) {
    BRAssertOnQueue(internalQueue_);
    const Key monitoredKey = keyOf(monitoredURL);
    auto& monitor = fileMonitorsByMonitoredURL_[monitoredKey];
    if (!monitor) {
        monitor = BRFileMonitor::makeWithURL(monitoredURL->filePathURL(), internalQueue_);
        if (!monitor) {
            fileMonitorsByMonitoredURL_.erase(monitoredKey);
            return;
        }
        monitor->addObserver(shared_from_this());
    }
    if (monitoredURL == observedURL) {
        auto& observed = fileObserversByObservedURL_[monitoredKey];
        if (!observed.url) {
            observed.url = monitoredURL;
        }
        observed.observers.insert(observer);
        if (isRecursive) {
            ++recursiveObserverCounts_[monitoredKey];
        }
    } else {
        observedURLsByMonitoredURLs_[monitoredKey].emplace(keyOf(observedURL), observedURL);
    }
    if (isRecursive) {
        if (const BRFileReferenceURL parent = parentOf(monitoredURL)) {
            addObserverLocked(observer, parent, observedURL, isRecursive);
        }
    }
}

void BRFileMonitoringManager::removeObserverLocked(const std::shared_ptr<BRFileObserver>& observer,
                                                   const BRFileReferenceURL& monitoredURL,
                                                   const BRFileReferenceURL& observedURL, bool isRecursive) {
    BRAssertOnQueue(internalQueue_);
    const Key monitoredKey = keyOf(monitoredURL);
    if (monitoredURL == observedURL) {
        if (const auto found = fileObserversByObservedURL_.find(monitoredKey);
            found != fileObserversByObservedURL_.end()) {
            found->second.observers.erase(observer);
            if (found->second.observers.empty()) {
                fileObserversByObservedURL_.erase(found);
            }
        }
        if (isRecursive) {
            if (const auto count = recursiveObserverCounts_.find(monitoredKey);
                count != recursiveObserverCounts_.end() && --count->second == 0) {
                recursiveObserverCounts_.erase(count);
            }
        }
    } else if (const auto found = observedURLsByMonitoredURLs_.find(monitoredKey);
               found != observedURLsByMonitoredURLs_.end()) {
        // Another recursive observer of the same item may still need this folder.
        if (!recursiveObserverCounts_.contains(keyOf(observedURL))) {
            found->second.erase(keyOf(observedURL));
        }
        if (found->second.empty()) {
            observedURLsByMonitoredURLs_.erase(found);
        }
    }
    releaseMonitorIfUnusedLocked(monitoredKey);
    if (isRecursive) {
        if (const BRFileReferenceURL parent = parentOf(monitoredURL)) {
            removeObserverLocked(observer, parent, observedURL, isRecursive);
        }
    }
}

void BRFileMonitoringManager::releaseMonitorIfUnusedLocked(const Key& key) {
    if (!fileObserversByObservedURL_.contains(key) && !observedURLsByMonitoredURLs_.contains(key)) {
        if (const auto found = fileMonitorsByMonitoredURL_.find(key);
            found != fileMonitorsByMonitoredURL_.end()) {
            found->second->removeObserver(shared_from_this());
            fileMonitorsByMonitoredURL_.erase(found);
        }
    }
}

void BRFileMonitoringManager::forEachOfFileObserversForMonitoredURL(const BRFileReferenceURL& url,
                                                                    bool isRelatedURLsAllowed,
                                                                    ObserverBlock block) {
    internalQueue_->async([weakSelf = weak_from_this(), url, isRelatedURLsAllowed, block = std::move(block)] {
        auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        const Key key = keyOf(url);
        if (const auto found = self->fileObserversByObservedURL_.find(key);
            found != self->fileObserversByObservedURL_.end()) {
            for (const auto& observer : found->second.observers) {
                block(observer, found->second.url);
            }
        }
        if (!isRelatedURLsAllowed) {
            return;
        }
        const auto related = self->observedURLsByMonitoredURLs_.find(key);
        if (related == self->observedURLsByMonitoredURLs_.end()) {
            return;
        }
        for (const auto& [observedKey, observedURL] : related->second) {
            const auto found = self->fileObserversByObservedURL_.find(observedKey);
            if (found == self->fileObserversByObservedURL_.end()) {
                continue;
            }
            for (const auto& observer : found->second.observers) {
                block(observer, observedURL);
            }
        }
    });
}

void BRFileMonitoringManager::notifyAsync(std::function<void()> call) {
    platform::DispatchQueue::global(platform::QualityOfService::Utility)->async(std::move(call));
}

void BRFileMonitoringManager::didChangeWithFlags(unsigned long flags, const BRFileReferenceURL& url) {
    forEachOfFileObserversForMonitoredURL(url, false, [flags](const auto& observer, const auto& observedURL) {
        notifyAsync([observer, flags, observedURL] { observer->didChangeWithFlags(flags, observedURL); });
    });
}

void BRFileMonitoringManager::didInvalidateObservationOfFileAtURL(const BRFileReferenceURL& url) {
    forEachOfFileObserversForMonitoredURL(url, false, [](const auto& observer, const auto& observedURL) {
        notifyAsync([observer, observedURL] { observer->didInvalidateObservationOfFileAtURL(observedURL); });
    });
}

void BRFileMonitoringManager::didDeleteFileAtURL(const BRFileReferenceURL& url, const QUrl& oldFilePathURL) {
    forEachOfFileObserversForMonitoredURL(url, true,
                                          [oldFilePathURL](const auto& observer, const auto& observedURL) {
                                              notifyAsync([observer, observedURL, oldFilePathURL] {
                                                  observer->didDeleteFileAtURL(observedURL, oldFilePathURL);
                                              });
                                          });
}

void BRFileMonitoringManager::didWriteToFileAtURL(const BRFileReferenceURL& url) {
    forEachOfFileObserversForMonitoredURL(url, false, [](const auto& observer, const auto& observedURL) {
        notifyAsync([observer, observedURL] { observer->didWriteToFileAtURL(observedURL); });
    });
}

void BRFileMonitoringManager::didExtendFileAtURL(const BRFileReferenceURL& url) {
    forEachOfFileObserversForMonitoredURL(url, false, [](const auto& observer, const auto& observedURL) {
        notifyAsync([observer, observedURL] { observer->didExtendFileAtURL(observedURL); });
    });
}

void BRFileMonitoringManager::didChangeAttributesOfFileAtURL(const BRFileReferenceURL& url) {
    forEachOfFileObserversForMonitoredURL(url, false, [](const auto& observer, const auto& observedURL) {
        notifyAsync([observer, observedURL] { observer->didChangeAttributesOfFileAtURL(observedURL); });
    });
}

void BRFileMonitoringManager::didChangeLinkCountOfFileAtURL(const BRFileReferenceURL& url) {
    forEachOfFileObserversForMonitoredURL(url, false, [](const auto& observer, const auto& observedURL) {
        notifyAsync([observer, observedURL] { observer->didChangeLinkCountOfFileAtURL(observedURL); });
    });
}

void BRFileMonitoringManager::didMoveFileAtURL(const BRFileReferenceURL& url, const QUrl& fromFilePathURL,
                                               const QUrl& toFilePathURL) {
    forEachOfFileObserversForMonitoredURL(
        url, true, [url, fromFilePathURL, toFilePathURL](const auto& observer, const auto& observedURL) {
            if (keyOf(observedURL) == keyOf(url)) {
                notifyAsync([observer, observedURL, fromFilePathURL, toFilePathURL] {
                    observer->didMoveFileAtURL(observedURL, fromFilePathURL, toFilePathURL);
                });
                return;
            }
            // An item below the moved folder: its old path is the folder's old
            // path followed by what lies below the folder's new path.
            const QUrl present = observedURL->filePathURL();
            const QStringList itemComponents =
                present.toLocalFile().split(QLatin1Char('/'), Qt::SkipEmptyParts);
            const QStringList folderComponents =
                toFilePathURL.toLocalFile().split(QLatin1Char('/'), Qt::SkipEmptyParts);
            if (present.isEmpty() || itemComponents.size() < folderComponents.size()) {
                return;
            }
            QString oldPath = fromFilePathURL.toLocalFile();
            for (const QString& component : itemComponents.mid(folderComponents.size())) {
                oldPath = QDir(oldPath).filePath(component);
            }
            notifyAsync([observer, observedURL, oldFilePathURL = QUrl::fromLocalFile(oldPath), present] {
                observer->didMoveFileAtURL(observedURL, oldFilePathURL, present);
            });
        });
}

void BRFileMonitoringManager::didRevokeFileAtURL(const BRFileReferenceURL& url) {
    forEachOfFileObserversForMonitoredURL(url, true, [](const auto& observer, const auto& observedURL) {
        notifyAsync([observer, observedURL] { observer->didRevokeFileAtURL(observedURL); });
    });
}
