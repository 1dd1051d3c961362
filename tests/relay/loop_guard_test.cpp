#include <gtest/gtest.h>

#include "relay/loop_guard.h"
#include "support/program_harness.h"

namespace qf::test {
namespace {

using Peer = UdpSocket::Peer;

TEST(LoopGuard, a_target_is_the_own_intake_when_it_reaches_the_port_listened_on)
{
    const auto ours = [](const std::string& a) { return isLoopbackAddress(a) || a == "192.168.1.10"; };
    const OwnIntake unicast{2237, "", ""};
    const OwnIntake group{2237, "239.255.0.1", ""};
    const OwnIntake oneAddress{2237, "", "192.168.1.10"};
    const OwnIntake groupBound{2237, "239.255.0.1", "127.0.0.1"};
    struct Row {
        const char* name;
        OwnIntake intake;
        const char* host;
        int port;
        bool own;
    };
    for (const Row& r : {
             Row{"loopback", unicast, "127.0.0.1", 2237, true},
             Row{"another loopback address", unicast, "127.0.0.2", 2237, true},
             Row{"localhost", unicast, "LocalHost", 2237, true},
             Row{"this machine's LAN address", unicast, "192.168.1.10", 2237, true},
             Row{"any address", unicast, "0.0.0.0", 2237, true},
             Row{"another port", unicast, "127.0.0.1", 2238, false},
             Row{"another machine", unicast, "192.168.1.20", 2237, false},
             Row{"the joined group", group, "239.255.0.1", 2237, true},
             Row{"another group", group, "239.255.0.2", 2237, false},
             Row{"loopback beside a group", group, "127.0.0.1", 2237, true},
             Row{"the one address listened on", oneAddress, "192.168.1.10", 2237, true},
             Row{"loopback beside one address", oneAddress, "127.0.0.1", 2237, false},
             Row{"a group bound to itself hears only the group", groupBound, "127.0.0.1", 2237, false},
             Row{"no port to listen on", OwnIntake{}, "127.0.0.1", 0, false},
         }) {
        EXPECT_EQ(isOwnIntake(r.intake, r.host, r.port, ours), r.own) << r.name;
    }
}

TEST(LoopGuard, own_port_targets_are_not_used_and_said_in_the_trace_on_standard_error_and_in_the_health_line)
{
    ProgramHarness h({}, DateTime{2026, 12, 7, 10, 0, 0}, true);
    h.settingsFile(
        "UdpPort=2237\r\nTrace=1\r\nMyStationId=Q9ZZZ\r\nMyLocator=FN42HN\r\nMulticastGroup=239.255.0.1\r\n"
        "ServIP=127.0.0.1\r\nServPort=2237\r\nMoreRelays=239.255.0.1:2237 127.0.0.1:2240 192.168.1.10:2237\r\n");
    h.program->startUp();
    h.receive("one");

    ASSERT_EQ(h.sockets.size(), 5u) << "one further target in use";
    EXPECT_EQ(h.sockets[4]->sent.size(), 1u);
    EXPECT_TRUE(h.winsockServ().sent.empty());
    const std::vector<std::string> said = {
        "Relay target 127.0.0.1:2237 is Quillfeed's own port: not used",
        "Relay target 239.255.0.1:2237 is Quillfeed's own port: not used",
        "Relay target 192.168.1.10:2237 is Quillfeed's own port: not used",
    };
    for (const std::string& line : said) {
        EXPECT_TRUE(h.traced(line)) << line;
        EXPECT_NE(std::find(h.notices.begin(), h.notices.end(), line), h.notices.end()) << line;
        EXPECT_NE(h.window().health.caption().find(line), std::string::npos) << h.window().health.caption();
    }
}

// One program, one datagram after another; each row says whether it was relayed (and handled).
TEST(LoopGuard, a_datagram_that_comes_round_again_is_neither_relayed_nor_handled)
{
    ProgramHarness h;
    h.readyOperator("MoreRelays=127.0.0.1:2240\r\n");
    h.program->startUp();
    h.startMonitoring();
    const int relayPort = h.winsockServ().localPort();
    const int furtherPort = h.sockets.at(4)->localPort();
    const Peer radio = FakeUdpSocket::kRadio;
    struct Row {
        const char* name;
        Peer from;
        std::string bytes;
        int advanceSeconds;
        bool taken;
    };
    for (const Row& r : {
             Row{"from the radio program", radio, "D1", 0, true},
             Row{"back from the relay socket", {"127.0.0.1", relayPort}, "D1", 0, false},
             Row{"a copy from another relay on that address", {"127.0.0.1", radio.port + 1}, "D1", 0, false},
             Row{"the radio program's second interface", {"192.168.1.10", radio.port}, "D1", 0, true},
             Row{"repeated by the radio program", radio, "D1", 0, true},
             Row{"repeated again", radio, "D1", 0, true},
             Row{"once too often", radio, "D1", 0, false},
             Row{"from another port once the first is old", {"127.0.0.1", radio.port + 1}, "D1", 3, true},
             Row{"from the relay socket at the LAN address", {"192.168.1.10", relayPort}, "D2", 0, false},
             Row{"a stranger that uses the same port number", {"192.168.1.99", relayPort}, "D3", 0, true},
             Row{"back from a further target's socket", {"127.0.0.1", furtherPort}, "D4", 0, false},
         }) {
        h.clock.advance(r.advanceSeconds);
        const std::size_t relayed = h.winsockServ().sent.size();
        const std::string pane = h.window().log.text();
        h.winsock1().receiveFrom(r.from, r.bytes);
        EXPECT_EQ(h.winsockServ().sent.size() - relayed, r.taken ? 1u : 0u) << r.name;
        EXPECT_EQ(h.window().log.text() != pane, r.taken) << r.name;
    }
    const auto lines = h.traceLines();
    const auto drops = std::count_if(lines.begin(), lines.end(),
                                     [](const std::string& l) { return l.rfind("  Not taken from", 0) == 0; });
    EXPECT_EQ(drops, 1) << "once in 10 s";
    EXPECT_TRUE(h.traced("  Not taken from 127.0.0.1:" + std::to_string(relayPort) +
                         ": sent by Quillfeed itself (a relay target is its own port)"));
    h.clock.advance(10);
    h.winsock1().receiveFrom({"127.0.0.1", relayPort}, "D5");
    EXPECT_TRUE(h.traced("  Not taken from 127.0.0.1:" + std::to_string(relayPort) +
                         ": sent by Quillfeed itself (a relay target is its own port), 4 more not taken before"));
}

// Two copies whose relays point at each other: on one machine, and on two.
TEST(LoopGuard, two_programs_relaying_to_each_other_pass_a_datagram_on_a_few_times_only)
{
    struct Row {
        const char* name;
        std::string addressOfA, addressOfB; // as the other sees them
        std::size_t mostRelayed;
    };
    for (const Row& r : {Row{"one machine", "127.0.0.1", "127.0.0.1", 1},
                         Row{"two machines", "192.168.1.10", "192.168.1.20", LoopGuard::kMaxPasses}}) {
        ProgramHarness a, b;
        for (ProgramHarness* h : {&a, &b}) {
            h->readyOperator();
            h->program->startUp();
            h->startMonitoring();
        }
        a.receive("one QSO");
        std::size_t takenA = 0, takenB = 0;
        for (int round = 0; round < 100; ++round) {
            const bool moved = takenA < a.winsockServ().sent.size() || takenB < b.winsockServ().sent.size();
            if (!moved) {
                break;
            }
            while (takenA < a.winsockServ().sent.size()) {
                b.winsock1().receiveFrom({r.addressOfA, a.winsockServ().localPort()},
                                         a.winsockServ().sent[takenA++].bytes);
            }
            while (takenB < b.winsockServ().sent.size()) {
                a.winsock1().receiveFrom({r.addressOfB, b.winsockServ().localPort()},
                                         b.winsockServ().sent[takenB++].bytes);
            }
        }
        EXPECT_GE(a.winsockServ().sent.size(), 1u) << r.name;
        EXPECT_LE(a.winsockServ().sent.size(), r.mostRelayed) << r.name;
        EXPECT_LE(b.winsockServ().sent.size(), r.mostRelayed) << r.name;
        EXPECT_EQ(takenA, a.winsockServ().sent.size()) << r.name << ": still going round";
    }
}

} // namespace
} // namespace qf::test
