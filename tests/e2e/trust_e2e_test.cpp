// What the network may not do to the real program: reach it on an address it does not listen on,
// or take over a radio program's Id from another address.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "e2e/e2e_support.h"
#include "wsjtx/datagram_builder.h"

namespace qf::e2e {
namespace {

using namespace std::chrono_literals;

class Trust : public ProgramFolder {};

// The local addresses the system has UDP sockets bound to on a port, as /proc/net/udp lists them.
std::vector<std::string> boundAddresses(int port)
{
    std::istringstream table(readFile("/proc/net/udp"));
    std::vector<std::string> found;
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        unsigned slot = 0, address = 0, boundPort = 0;
        if (std::sscanf(line.c_str(), " %u: %8X:%4X", &slot, &address, &boundPort) == 3 &&
            static_cast<int>(boundPort) == port) {
            // The kernel prints the address as the number it holds in network order.
            found.push_back(std::to_string(address & 0xFF) + "." + std::to_string((address >> 8) & 0xFF) + "." +
                            std::to_string((address >> 16) & 0xFF) + "." + std::to_string(address >> 24));
        }
    }
    return found;
}

TEST_F(Trust, with_a_listen_address_the_port_is_bound_to_it_alone_and_the_start_line_names_it)
{
    UdpPeer relay;
    const int port = freeUdpPort();
    prepare(readyConfig(port, relay.port(), true, "ListenAddress=127.0.0.1\r\n"));
    RunningProgram p(dir.path(), {"--no-window"}, "");
    ASSERT_TRUE(started()) << p.output();
    UdpPeer sender;
    ASSERT_TRUE(relayFlows(sender, port, relay)) << p.output();
    EXPECT_EQ(boundAddresses(port), std::vector<std::string>{"127.0.0.1"});
    EXPECT_EQ(
        p.output().rfind("quillfeed: listening on UDP port " + std::to_string(port) + " at 127.0.0.1, relaying", 0), 0u)
        << p.output();
    EXPECT_EQ(p.stop(), 0);
}

// A stranger on another address of this machine sends with the radio program's Id: relayed as it
// came, but a logger's Halt Tx still goes to the radio program.
TEST_F(Trust, a_stranger_on_another_address_cannot_take_a_radio_programs_id)
{
    UdpPeer logger;
    const int port = freeUdpPort();
    prepare(readyConfig(port, logger.port(), true, "PassReplies=1\r\n"));
    RunningProgram p(dir.path());
    ASSERT_TRUE(started()) << p.output();
    UdpPeer radio;
    UdpPeer stranger(0, "127.0.0.5");
    ASSERT_TRUE(relayFlows(radio, port, logger));
    const std::string heartbeat = wsjtx::heartbeatMessage("WSJT-X");
    radio.sendTo(port, heartbeat);
    ASSERT_EQ(logger.receive(5s), heartbeat);
    stranger.sendTo(port, heartbeat);
    ASSERT_EQ(logger.receive(5s), heartbeat) << "relayed all the same";

    constexpr std::int32_t kHaltTx = 8;
    const std::string haltTx = wsjtx::DatagramBuilder().header(2, kHaltTx, "WSJT-X").boolean(false);
    logger.sendTo(logger.lastSenderPort(), haltTx);
    EXPECT_EQ(radio.receive(5s), haltTx) << readFile(tracePath());
    EXPECT_FALSE(stranger.receive(300ms));
    EXPECT_NE(trace().find("  Not taken from 127.0.0.5:" + std::to_string(stranger.port()) +
                           ": Id WSJT-X belongs to 127.0.0.1:" + std::to_string(radio.port())),
              std::string::npos);
    EXPECT_EQ(p.stop(), 0);
}

} // namespace
} // namespace qf::e2e
