#include "BRFileMonitor.h"

#include "BRAssertions.h"
#include "BRDispatch.h"

#include <QFileInfo>

namespace {

void notifyObserver(const std::shared_ptr<BRFileObserver>& observer, unsigned long flags,
                    const BRFileReferenceURL& url, const QUrl& oldFilePathURL) {
    observer->didChangeWithFlags(flags, url);
    if (flags & BRFileEventDelete) {
        observer->didDeleteFileAtURL(url, oldFilePathURL);
    }
    if (flags & BRFileEventWrite) {
        observer->didWriteToFileAtURL(url);
    }
    if (flags & BRFileEventExtend) {
        observer->didExtendFileAtURL(url);
    }
    if (flags & BRFileEventAttrib) {
        observer->didChangeAttributesOfFileAtURL(url);
    }
    if (flags & BRFileEventLink) {
        observer->didChangeLinkCountOfFileAtURL(url);
    }
    if (flags & BRFileEventRename) {
        observer->didMoveFileAtURL(url, oldFilePathURL, url->filePathURL());
    }
    if (flags & BRFileEventRevoke) {
        observer->didRevokeFileAtURL(url);
    }
}

} // namespace

std::shared_ptr<BRFileMonitor> BRFileMonitor::makeWithURL(const QUrl& url) {
    return makeWithURL(url, BRBuildInternalDispatchQueue(QStringLiteral("file-manager-") +
                                                         QFileInfo(url.toLocalFile()).fileName()));
}

std::shared_ptr<BRFileMonitor>
BRFileMonitor::makeWithURL(const QUrl& url, std::shared_ptr<platform::DispatchQueue> internalQueue) {
    BRFileReferenceURL reference = platform::FileReferenceURL::makeWithFilePathURL(url);
    if (!reference) {
        return nullptr;
    }
    auto watcher = platform::DispatchSource::makeVnode(reference->path(), BRFileEventAll, internalQueue);
    if (!watcher) {
        return nullptr;
    }
    auto monitor = std::shared_ptr<BRFileMonitor>(new BRFileMonitor(std::move(reference), internalQueue));
    std::weak_ptr<BRFileMonitor> weakMonitor = monitor;
    // The source hands over the merged flags of the events since its last run.
    watcher->setEventHandler([weakMonitor, source = std::weak_ptr(watcher)] {
        auto strongMonitor = weakMonitor.lock();
        auto strongSource = source.lock();
        if (strongMonitor && strongSource) {
            strongMonitor->handleEventWithFlags(strongSource->data());
        }
    });
    watcher->setCancelHandler([weakMonitor] {
        if (auto strongMonitor = weakMonitor.lock()) {
            strongMonitor->didCloseHandler();
        }
    });
    monitor->watcher_ = watcher;
    watcher->resume();
    return monitor;
}

BRFileMonitor::BRFileMonitor(BRFileReferenceURL reference,
                             std::shared_ptr<platform::DispatchQueue> internalQueue)
    : fileReferenceURL_(std::move(reference)), internalQueue_(std::move(internalQueue)),
      filePathURL_(fileReferenceURL_->filePathURL()) {}

BRFileMonitor::~BRFileMonitor() {
    if (watcher_) {
        watcher_->cancel();
    }
}

void BRFileMonitor::addObserver(std::shared_ptr<BRFileObserver> observer) {
    internalQueue_->async([weakSelf = weak_from_this(), observer = std::move(observer)] {
        if (auto self = weakSelf.lock()) {
            self->observers_.insert(observer);
        }
    });
}

void BRFileMonitor::removeObserver(std::shared_ptr<BRFileObserver> observer) {
    internalQueue_->async([weakSelf = weak_from_this(), observer = std::move(observer)] {
        if (auto self = weakSelf.lock()) {
            self->observers_.erase(observer);
        }
    });
}

QUrl BRFileMonitor::filePathURL() const {
    if (!internalQueue_->isCurrent()) {
        BRHandleAssertionFailure(QStringLiteral("A file monitor's path is read on its internal queue"));
    }
    return filePathURL_;
}

bool BRFileMonitor::isWatching() const {
    if (!internalQueue_->isCurrent()) {
        BRHandleAssertionFailure(QStringLiteral("A file monitor's source is read on its internal queue"));
    }
    return watcher_ != nullptr;
}

void BRFileMonitor::handleEventWithFlags(unsigned long flags) {
    BRAssertOnQueue(internalQueue_);
    const QUrl oldFilePathURL = filePathURL_;
    if (flags & BRFileEventRename) {
        const QUrl present = fileReferenceURL_->filePathURL();
        if (!present.isEmpty()) {
            filePathURL_ = present;
        }
    }
    for (const auto& observer : observers_) {
        platform::DispatchQueue::global(platform::QualityOfService::Utility)
            ->async([observer, flags, url = fileReferenceURL_, oldFilePathURL] {
                notifyObserver(observer, flags, url, oldFilePathURL);
            });
    }
    if ((flags & (BRFileEventDelete | BRFileEventRevoke)) && watcher_) {
        watcher_->cancel();
        watcher_.reset();
    }
}

void BRFileMonitor::didCloseHandler() {
    BRAssertOnQueue(internalQueue_);
    for (const auto& observer : observers_) {
        platform::DispatchQueue::global(platform::QualityOfService::Utility)
            ->async(
                [observer, url = fileReferenceURL_] { observer->didInvalidateObservationOfFileAtURL(url); });
    }
}
