#include "XPCReply.h"

#include <utility>

namespace platform {

XPCReply::XPCReply(std::function<void(const QList<Value>*)> deliver) : deliver_(std::move(deliver)) {}

XPCReply::XPCReply(XPCReply&& other) noexcept : deliver_(std::exchange(other.deliver_, nullptr)) {}

XPCReply& XPCReply::operator=(XPCReply&& other) noexcept {
    if (this != &other) {
        if (deliver_) {
            deliver_(nullptr);
        }
        deliver_ = std::exchange(other.deliver_, nullptr);
    }
    return *this;
}

XPCReply::~XPCReply() {
    if (deliver_) {
        deliver_(nullptr);
    }
}

bool XPCReply::expectsReply() const {
    return static_cast<bool>(deliver_);
}

void XPCReply::send(const QList<Value>& arguments) {
    if (auto deliver = std::exchange(deliver_, nullptr)) {
        deliver(&arguments);
    }
}

} // namespace platform
