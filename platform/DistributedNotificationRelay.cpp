#include "DistributedNotificationRelay.h"

#include <utility>

namespace platform {

DistributedNotificationRelay::DistributedNotificationRelay(std::function<void(const QDBusMessage&)> handler)
    : handler_(std::move(handler)) {}

void DistributedNotificationRelay::receive(const QDBusMessage& message) {
    handler_(message);
}

} // namespace platform
