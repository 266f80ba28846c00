#include "BRBlockBasedFileObserver.h"

std::shared_ptr<BRBlockBasedFileObserver> BRBlockBasedFileObserver::make(QUrl url, bool isRecursive,
                                                                         unsigned long flags, Block block) {
    return std::shared_ptr<BRBlockBasedFileObserver>(
        new BRBlockBasedFileObserver(std::move(url), isRecursive, flags, std::move(block)));
}

BRBlockBasedFileObserver::BRBlockBasedFileObserver(QUrl url, bool isRecursive, unsigned long flags,
                                                   Block block)
    : url_(std::move(url)), isRecursive_(isRecursive), flags_(flags), block_(std::move(block)) {}

void BRBlockBasedFileObserver::didChangeWithFlags(unsigned long flags, const BRFileReferenceURL&) {
    if ((flags & flags_) != 0 && block_) {
        block_(flags);
    }
}
