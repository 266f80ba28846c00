#pragma once

#include "BRFileObserver.h"

#include <QUrl>

#include <functional>
#include <memory>

// An observer that calls its block with an event's flags when they share a
// bit with its own. It doubles as the caller's token for removal, so it
// remembers what it was registered for.
class BRBlockBasedFileObserver : public BRFileObserver {
public:
    using Block = std::function<void(unsigned long flags)>;

    static std::shared_ptr<BRBlockBasedFileObserver> make(QUrl url, bool isRecursive, unsigned long flags,
                                                          Block block);

    const QUrl& url() const { return url_; }
    bool isRecursive() const { return isRecursive_; }
    unsigned long flags() const { return flags_; }

    void didChangeWithFlags(unsigned long flags, const BRFileReferenceURL& url) override;

private:
    BRBlockBasedFileObserver(QUrl url, bool isRecursive, unsigned long flags, Block block);

    const QUrl url_;
    const bool isRecursive_;
    const unsigned long flags_;
    const Block block_;
};
