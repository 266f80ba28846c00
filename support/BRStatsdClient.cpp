#include "BRStatsdClient.h"

#include "BRAssertions.h"
#include "BRDispatch.h"
#include "platform/StringFormat.h"

#include <cerrno>
#include <cstring>

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

// The longest a send may block the internal queue.
constexpr timeval kSendTimeout{1, 0};

} // namespace

std::shared_ptr<BRStatsdClient> BRStatsdClient::makeWithHost(const QString& host, std::int32_t port,
                                                             const QString& nameSpace, int socket) {
    BRParameterAssertText(!host.isEmpty(), "host");
    BRParameterAssertText(!nameSpace.isEmpty(), "namespace");
    return std::shared_ptr<BRStatsdClient>(
        new BRStatsdClient(host, port == 0 ? DefaultPort : port, nameSpace, socket));
}

BRStatsdClient::BRStatsdClient(QString host, std::int32_t port, QString nameSpace, int socket)
    : host_(std::move(host)), port_(port), nameSpace_(std::move(nameSpace)),
      internalQueue_(BRBuildDispatchQueue(QStringLiteral("statsd-client.queue"),
                                          platform::QualityOfService::Utility, nullptr, false)),
      socket_(socket) {}

BRStatsdClient::~BRStatsdClient() {
    // Queued sends hold the client weakly, so none of them can still reach the socket.
    dropSocket();
}

std::shared_ptr<BRStatsdClientDelegate> BRStatsdClient::delegate() const {
    std::lock_guard lock(delegateMutex_);
    return delegate_.lock();
}

void BRStatsdClient::setDelegate(std::weak_ptr<BRStatsdClientDelegate> delegate) {
    std::lock_guard lock(delegateMutex_);
    delegate_ = std::move(delegate);
}

void BRStatsdClient::send(const QString& command) {
    internalQueue_->async([weakSelf = weak_from_this(), command] {
        if (const auto self = weakSelf.lock()) {
            self->sendOnQueue(command, true);
        }
    });
}

void BRStatsdClient::metricsNamedRecordCount(const QString& name, long count) {
    send(platform::stringWithFormat(QStringLiteral("%@.%@:%ld|c"), nameSpace_, name, count));
}

void BRStatsdClient::metricsNamedRecordSample(const QString& name, long count, double sampleRate) {
    send(
        platform::stringWithFormat(QStringLiteral("%@.%@:%ld|c|@%.2f"), nameSpace_, name, count, sampleRate));
}

void BRStatsdClient::metricsNamedRecordTiming(const QString& name, double seconds) {
    send(platform::stringWithFormat(QStringLiteral("%@.%@:%ld|ms"), nameSpace_, name,
                                    static_cast<long>(seconds * 1000)));
}

void BRStatsdClient::metricsNamedSetGauge(const QString& name, long value) {
    send(platform::stringWithFormat(QStringLiteral("%@.%@:%ld|g"), nameSpace_, name, value));
}

void BRStatsdClient::metricsNamedAdjustGauge(const QString& name, long value) {
    send(platform::stringWithFormat(QStringLiteral("%@.%@:%@%ld|g"), nameSpace_, name,
                                    value >= 0 ? QStringLiteral("+") : QString(), value));
}

void BRStatsdClient::sendOnQueue(const QString& command, bool canRetry) {
    BRAssertOnQueue(internalQueue_);
    if (!ensureSocket()) {
        if (const auto delegate = this->delegate()) {
            delegate->statsdClientDidFailToSendCommand(*this, command, -1);
        }
        return;
    }
    const QByteArray bytes = command.toUtf8();
    if (::send(socket_, bytes.constData(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL) == bytes.size()) {
        if (const auto delegate = this->delegate()) {
            delegate->statsdClientDidSendCommand(*this, command);
        }
        return;
    }
    const int failure = errno;
    if (canRetry) {
        sendOnQueue(command, false);
        return;
    }
    dropSocket();
    if (const auto delegate = this->delegate()) {
        delegate->statsdClientDidFailToSendCommand(*this, command, failure);
    }
}

bool BRStatsdClient::ensureSocket() {
    if (socket_ >= 0) {
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* addresses = nullptr;
    if (::getaddrinfo(host_.toUtf8().constData(), nullptr, &hints, &addresses) != 0) {
        return false;
    }
    for (const addrinfo* address = addresses; address; address = address->ai_next) {
        if (address->ai_family != AF_INET && address->ai_family != AF_INET6) {
            continue;
        }
        sockaddr_storage target{};
        std::memcpy(&target, address->ai_addr, address->ai_addrlen);
        if (address->ai_family == AF_INET) {
            reinterpret_cast<sockaddr_in*>(&target)->sin_port = htons(static_cast<uint16_t>(port_));
        } else {
            reinterpret_cast<sockaddr_in6*>(&target)->sin6_port = htons(static_cast<uint16_t>(port_));
        }
        const int fd = ::socket(address->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &kSendTimeout, sizeof kSendTimeout) == 0 &&
            ::connect(fd, reinterpret_cast<const sockaddr*>(&target), address->ai_addrlen) == 0) {
            socket_ = fd;
        } else if (fd >= 0) {
            ::close(fd);
        }
        // Only the first usable address is tried, as a statsd host has one.
        break;
    }
    ::freeaddrinfo(addresses);
    return socket_ >= 0;
}

void BRStatsdClient::dropSocket() {
    if (socket_ >= 0) {
        ::close(socket_);
        socket_ = -1;
    }
}
