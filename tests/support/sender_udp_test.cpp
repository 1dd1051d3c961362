#include "quillfeed-send/udp_sender.h"

#include <gtest/gtest.h>

#include <poll.h>

namespace qf::send {
namespace {

// A listener on loopback, optionally a member of a group on the loopback interface.
class Listener {
  public:
    explicit Listener(const char* group = nullptr)
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(group ? INADDR_ANY : INADDR_LOOPBACK);
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        socklen_t size = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
        if (group) {
            ip_mreq membership{};
            membership.imr_multiaddr.s_addr = ::inet_addr(group);
            membership.imr_interface.s_addr = htonl(INADDR_LOOPBACK);
            EXPECT_EQ(::setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership), 0);
        }
    }
    ~Listener() { ::close(fd_); }

    std::optional<std::string> take()
    {
        pollfd waiting{fd_, POLLIN, 0};
        if (::poll(&waiting, 1, 2000) != 1) {
            return std::nullopt;
        }
        std::string buffer(70000, '\0');
        const auto n = ::recv(fd_, buffer.data(), buffer.size(), 0);
        buffer.resize(n < 0 ? 0 : n);
        return buffer;
    }

    std::uint16_t port = 0;

  private:
    int fd_ = -1;
};

TEST(SenderUdp, sends_each_datagram_whole_to_loopback)
{
    Listener listener;
    UdpSender sender;
    ASSERT_EQ(sender.open({"127.0.0.1", listener.port}), UdpSender::OpenResult::Ok);
    const std::string datagram = wsjtx::decodeMessage({});
    for (const std::string& bytes : {datagram, std::string(), std::string(9000, '\xAD')}) {
        ASSERT_TRUE(sender.send(bytes)) << sender.error();
        EXPECT_EQ(listener.take(), bytes);
    }
}

TEST(SenderUdp, multicast_group_reaches_a_member_on_loopback)
{
    Listener listener("239.255.73.31");
    UdpSender sender;
    ASSERT_EQ(sender.open({"239.255.73.31", listener.port}), UdpSender::OpenResult::Ok);
    ASSERT_TRUE(sender.send("ping")) << sender.error();
    EXPECT_EQ(listener.take(), "ping");
}

TEST(SenderUdp, reports_unknown_hosts_and_oversized_datagrams)
{
    UdpSender unknown;
    EXPECT_EQ(unknown.open({"no-such-host.invalid", 2237}), UdpSender::OpenResult::BadHost);
    EXPECT_NE(unknown.error().find("no-such-host.invalid"), std::string::npos);

    UdpSender sender;
    ASSERT_EQ(sender.open({"127.0.0.1", 9}), UdpSender::OpenResult::Ok);
    EXPECT_FALSE(sender.send(std::string(70000, 'x')));
    EXPECT_NE(sender.error().find("70000 bytes"), std::string::npos);
}

} // namespace
} // namespace qf::send
