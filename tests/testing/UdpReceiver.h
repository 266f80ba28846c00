#pragma once

// A UDP socket bound on the loopback interface that tests read datagrams
// from, each wait bounded.

#include <QByteArray>

#include <chrono>
#include <cstdint>
#include <optional>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testing_support {

class UdpReceiver {
public:
    // Bound to 127.0.0.1:port (0: any free port); check `isBound`.
    explicit UdpReceiver(std::uint16_t port = 0) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
    }
    ~UdpReceiver() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    UdpReceiver(const UdpReceiver&) = delete;
    UdpReceiver& operator=(const UdpReceiver&) = delete;

    bool isBound() const { return port_ != 0; }
    std::uint16_t port() const { return port_; }

    // The next datagram, or nullopt when none came in time.
    std::optional<QByteArray> receive(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        pollfd waiting{fd_, POLLIN, 0};
        if (::poll(&waiting, 1, static_cast<int>(timeout.count())) != 1) {
            return std::nullopt;
        }
        QByteArray datagram(65536, '\0');
        const ssize_t size = ::recv(fd_, datagram.data(), static_cast<size_t>(datagram.size()), 0);
        if (size < 0) {
            return std::nullopt;
        }
        datagram.resize(size);
        return datagram;
    }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

} // namespace testing_support
