// The one UDP socket of quillfeed-send. A multicast group is sent on the loopback interface with loopback
// delivery on, so a listener on the same machine hears it as it would hear WSJT-X.
#pragma once

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "quillfeed-send/command_line.h"

namespace qf::send {

class UdpSender {
  public:
    enum class OpenResult { Ok, BadHost, SocketFailed };

    UdpSender() = default;
    UdpSender(const UdpSender&) = delete;
    UdpSender& operator=(const UdpSender&) = delete;
    ~UdpSender()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    OpenResult open(const Target& target)
    {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* found = nullptr;
        const int lookup = ::getaddrinfo(target.host.c_str(), nullptr, &hints, &found);
        if (lookup != 0 || found == nullptr) {
            error_ = "cannot find host '" + target.host + "': " + ::gai_strerror(lookup);
            return OpenResult::BadHost;
        }
        std::memcpy(&destination_, found->ai_addr, sizeof destination_);
        ::freeaddrinfo(found);
        destination_.sin_port = htons(target.port);

        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) {
            return failed("cannot open a UDP socket");
        }
        if (target.fromPort != 0) {
            sockaddr_in local{};
            local.sin_family = AF_INET;
            local.sin_port = htons(static_cast<std::uint16_t>(target.fromPort));
            if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
                return failed("cannot send from local port " + std::to_string(target.fromPort));
            }
        }
        if (IN_MULTICAST(ntohl(destination_.sin_addr.s_addr))) {
            in_addr loopback{};
            loopback.s_addr = htonl(INADDR_LOOPBACK);
            const unsigned char loop = 1;
            const unsigned char ttl = static_cast<unsigned char>(target.multicastTtl);
            if (::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback) != 0 ||
                ::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop) != 0 ||
                ::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0) {
                return failed("cannot set up multicast on the loopback interface");
            }
        }
        return OpenResult::Ok;
    }

    // False with error() set when the datagram could not be handed to the network.
    bool send(std::string_view bytes)
    {
        // A fast burst can fill the socket buffer for a moment; give the kernel time rather than lose datagrams.
        for (int attempt = 0;; ++attempt) {
            const auto sent = ::sendto(fd_, bytes.data(), bytes.size(), 0,
                                       reinterpret_cast<const sockaddr*>(&destination_), sizeof destination_);
            if (sent == static_cast<ssize_t>(bytes.size())) {
                return true;
            }
            const int code = errno;
            if (sent < 0 && (code == ENOBUFS || code == EAGAIN || code == EINTR) && attempt < 1000) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            error_ = "cannot send " + std::to_string(bytes.size()) + " bytes to " + destinationText() + ": " +
                     (sent < 0 ? std::strerror(code) : "sent only in part");
            return false;
        }
    }

    std::string destinationText() const
    {
        char address[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &destination_.sin_addr, address, sizeof address);
        return std::string(address) + ":" + std::to_string(ntohs(destination_.sin_port));
    }

    const std::string& error() const { return error_; }

  private:
    OpenResult failed(const std::string& what)
    {
        error_ = what + ": " + std::strerror(errno);
        return OpenResult::SocketFailed;
    }

    int fd_ = -1;
    sockaddr_in destination_{};
    std::string error_;
};

} // namespace qf::send
