// Relay targets that lead back to the program itself: its own port, its group, and a second copy
// that relays to it. A QSO Logged datagram must come out once, not circle.
#include <gtest/gtest.h>

#include "e2e/e2e_support.h"
#include "wsjtx/datagram_builder.h"

namespace qf::e2e {
namespace {

using namespace std::chrono_literals;

class RelayLoop : public ProgramFolder {};

TEST_F(RelayLoop, own_port_and_group_are_not_used_and_two_copies_relaying_to_each_other_pass_a_datagram_once)
{
    if (!networkIsolated()) {
        GTEST_SKIP() << "joining a group here would announce it on a real network";
    }
    UdpPeer seenByA, seenByB;
    const int portA = freeUdpPort();
    const int portB = freeUdpPort();
    const std::string own = "127.0.0.1:" + std::to_string(portA);
    const std::string groupTarget = "239.255.0.1:" + std::to_string(portA);
    std::string configA = readyConfig(portA, portA);
    configA.replace(configA.find("MulticastGroup="), 15, "MulticastGroup=239.255.0.1");
    prepare(configA + "MoreRelays=" + groupTarget + " 127.0.0.1:" + std::to_string(portB) +
            " 127.0.0.1:" + std::to_string(seenByA.port()) + "\r\n");
    TempDir homeB;
    const std::string folderB = homeB.path() + "/Quillfeed";
    ::mkdir(folderB.c_str(), 0755);
    writeFile(folderB + "/config.ini",
              readyConfig(portB, portA) + "MoreRelays=127.0.0.1:" + std::to_string(seenByB.port()) + "\r\n");

    RunningProgram a(dir.path(), {"--no-window"}, "");
    RunningProgram b(homeB.path(), {"--no-window"}, "");
    const auto listening = [](RunningProgram& p) {
        return waitFor([&] { return p.output().find("listening on UDP port") != std::string::npos; }, 10s);
    };
    ASSERT_TRUE(listening(a)) << a.output();
    ASSERT_TRUE(listening(b)) << b.output();
    UdpPeer radio;
    ASSERT_TRUE(relayFlows(radio, portA, seenByA)) << a.output();
    seenByB.receiveAll(300ms, 2s);

    const std::string logged = wsjtx::qsoLoggedMessage(wsjtx::QsoLoggedFields{});
    radio.sendTo(portA, logged);
    EXPECT_EQ(seenByA.receiveAll(500ms, 3s), std::vector<std::string>{logged});
    EXPECT_EQ(seenByB.receiveAll(500ms, 3s), std::vector<std::string>{logged});

    for (const std::string& target : {own, groupTarget}) {
        EXPECT_NE(a.output().find("quillfeed: Relay target " + target + " is Quillfeed's own port: not used"),
                  std::string::npos)
            << a.output();
    }
    EXPECT_NE(trace().find("  Not taken from 127.0.0.1:"), std::string::npos) << "B's copy came back";
    EXPECT_EQ(a.stop(), 0);
    EXPECT_EQ(b.stop(), 0);
}

} // namespace
} // namespace qf::e2e
