#include <gtest/gtest.h>

#include "relay/loop_guard.h"
#include "support/program_harness.h"

namespace qf::test {
namespace {

TEST(LoopGuard, targets_that_reach_the_own_port_are_not_used_and_said_in_the_trace_on_standard_error_and_in_health)
{
    ProgramHarness h({}, DateTime{2026, 12, 7, 10, 0, 0}, true);
    h.settingsFile("UdpPort=2237\r\nTrace=1\r\nMyStationId=Q9ZZZ\r\nMyLocator=FN42HN\r\nMulticastGroup=239.255.0.1\r\n"
                   "ServIP=127.0.0.1\r\nServPort=2237\r\nMoreRelays=239.255.0.1:2237 127.0.0.1:2240 "
                   "192.168.1.10:2237 192.168.1.20:2237 localhost:2237 239.255.0.2:2237\r\n");
    h.program->startUp();
    h.receive("one");

    ASSERT_EQ(h.sockets.size(), 7u) << "three further targets in use";
    EXPECT_EQ(h.sockets[4]->sent.size(), 1u);
    EXPECT_TRUE(h.winsockServ().sent.empty());
    for (const char* target : {"127.0.0.1:2237", "239.255.0.1:2237", "192.168.1.10:2237", "localhost:2237"}) {
        const std::string line = "Relay target " + std::string(target) + " is Quillfeed's own port: not used";
        EXPECT_TRUE(h.traced(line)) << line;
        EXPECT_NE(std::find(h.notices.begin(), h.notices.end(), line), h.notices.end()) << line;
        EXPECT_NE(h.window().health.caption().find(line), std::string::npos) << h.window().health.caption();
    }
}

// One program, one datagram after another; each row says whether it was relayed and shown.
TEST(LoopGuard, a_datagram_that_comes_round_again_is_neither_relayed_nor_handled)
{
    ProgramHarness h;
    h.readyOperator("MoreRelays=127.0.0.1:2240\r\n");
    h.program->startUp();
    h.startMonitoring();
    const int relayPort = h.winsockServ().localPort();
    const UdpSocket::Peer radio = FakeUdpSocket::kRadio, ownRelay{"127.0.0.1", relayPort};
    struct Row {
        const char* name;
        UdpSocket::Peer from;
        std::string bytes;
        int advanceSeconds;
        bool taken;
    };
    for (const Row& r : {
             Row{"from the radio program", radio, "D1", 0, true},
             Row{"back from the relay socket", ownRelay, "D1", 0, false},
             Row{"a copy from another relay on that address", {"127.0.0.1", radio.port + 1}, "D1", 0, false},
             Row{"the radio program's second interface", {"192.168.1.10", radio.port}, "D1", 0, true},
             Row{"repeated by the radio program", radio, "D1", 0, true},
             Row{"repeated again", radio, "D1", 0, true},
             Row{"once too often", radio, "D1", 0, false},
             Row{"from another port once the first is old", {"127.0.0.1", radio.port + 1}, "D1", 3, true},
             Row{"new bytes from the relay socket at the LAN address", {"192.168.1.10", relayPort}, "D2", 0, false},
             Row{"a stranger that uses the same port number", {"192.168.1.99", relayPort}, "D3", 0, true},
             Row{"from a further target's socket", {"127.0.0.1", h.sockets.at(4)->localPort()}, "D4", 0, false},
             Row{"10 s after the first drop", ownRelay, "D5", 10, false},
         }) {
        h.clock.advance(r.advanceSeconds);
        const std::size_t relayed = h.winsockServ().sent.size();
        const std::string pane = h.window().log.text();
        h.winsock1().receiveFrom(r.from, r.bytes);
        EXPECT_EQ(h.winsockServ().sent.size() - relayed, r.taken ? 1u : 0u) << r.name;
        EXPECT_EQ(h.window().log.text() != pane, r.taken) << r.name;
    }
    const std::string line = "  Not taken from 127.0.0.1:" + std::to_string(relayPort) +
                             ": sent by Quillfeed itself (a relay target is its own port)";
    EXPECT_TRUE(h.traced(line));
    EXPECT_TRUE(h.traced(line + ", 4 more not taken before")) << "traced once in 10 s";
}

} // namespace
} // namespace qf::test
