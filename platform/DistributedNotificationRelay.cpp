#include "DistributedNotificationRelay.h"

#include "SanitizerAnnotations.h"

#include <utility>

namespace platform {

DistributedNotificationRelay::DistributedNotificationRelay(std::function<void(const QDBusMessage&)> handler)
    : handler_(std::move(handler)) {}

void DistributedNotificationRelay::receive(const QDBusMessage& message) {
    // Made on another thread and handed to QtDBus's thread by Qt.
    annotateHappensAfter(this);
    handler_(message);
}

void DistributedNotificationRelay::confirmServing() {
    annotateHappensAfter(this);
    serving_ = true;
}

bool DistributedNotificationRelay::isServing() const {
    return serving_;
}

} // namespace platform
