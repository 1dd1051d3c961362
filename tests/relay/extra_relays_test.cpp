#include <gtest/gtest.h>

#include "support/program_harness.h"

namespace qf::test {
namespace {

class ExtraRelays : public ::testing::Test {
  protected:
    // The four sockets of the program come first; the further targets' sockets follow in list order.
    void start(const std::string& list)
    {
        h.readyOperator("MoreRelays=" + list + "\r\n");
        h.program->startUp();
        h.startMonitoring();
        h.clearTrace();
    }
    FakeUdpSocket& target(std::size_t i) { return *h.sockets.at(4 + i); }
    static std::vector<std::string> bytesOf(const FakeUdpSocket& s)
    {
        std::vector<std::string> bytes;
        for (const auto& sent : s.sent) {
            bytes.push_back(sent.bytes);
        }
        return bytes;
    }
    ProgramHarness h;
};

TEST_F(ExtraRelays, every_datagram_goes_to_each_target_after_the_main_relay_in_list_order)
{
    start("127.0.0.1:2238 \t shack-pc:2333");
    ASSERT_EQ(h.sockets.size(), 6u);
    EXPECT_EQ(target(0).log, (std::vector<std::string>{"close", "port 2238", "host 127.0.0.1", "bind 0"}));
    EXPECT_FALSE(h.window().moreRelays.enabled());

    h.receive("one");
    h.receive(wsjtx::heartbeatMessage());
    const std::vector<std::string> relayLines = {
        "    WinsockServ.Close",
        "    WinsockServ.SendData",
        "    WinsockServ[127.0.0.1:2238].Close",
        "    WinsockServ[127.0.0.1:2238].SendData",
        "    WinsockServ[shack-pc:2333].Close",
        "    WinsockServ[shack-pc:2333].SendData",
    };
    const auto lines = h.traceLines();
    ASSERT_GE(lines.size(), 9u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.begin() + 9), relayLines);
    const std::vector<std::string> both = {"one", wsjtx::heartbeatMessage()};
    for (FakeUdpSocket* s : {&h.winsockServ(), &target(0), &target(1)}) {
        EXPECT_EQ(bytesOf(*s), both);
    }
    EXPECT_EQ(target(1).sent[0].host, "shack-pc");
    EXPECT_EQ(target(1).sent[0].port, 2333);

    h.window().start.click();
    EXPECT_TRUE(h.window().moreRelays.enabled());
}

TEST_F(ExtraRelays, a_failing_target_is_traced_once_per_datagram_and_stops_neither_the_others_nor_the_main_relay)
{
    start("nowhere.invalid:2238 127.0.0.1:2239");
    target(0).sendFailure = Failure(11001, "Host not found");
    h.winsockServ().sendFailure = Failure(10065, "No route to host");
    h.receive("a");
    h.receive("b");
    const auto lines = h.traceLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "Winsock1.DataArrival: ** Error in WinsockServ[nowhere.invalid:2238]: 11001 - Host not found"),
              2);
    EXPECT_EQ(bytesOf(target(1)), (std::vector<std::string>{"a", "b"}));

    // What the socket reports itself is traced like the main relay's, naming the target.
    h.clearTrace();
    target(1).receive("HELLO");
    target(1).raiseError(10061, "Connection refused");
    const std::vector<std::string> expected = {
        "WinsockServ[127.0.0.1:2239]: DataArrival: bytesTotal= 5, WinsockServ[127.0.0.1:2239].State= 1",
        "WinsockServ[127.0.0.1:2239]: Recibido: HELLO",
        "WinSockServ[127.0.0.1:2239]: Error (10061) Connection refused",
    };
    EXPECT_EQ(h.traceLines(), expected);
    EXPECT_EQ(target(1).state(), 0);
    h.receive("c");
    EXPECT_EQ(bytesOf(target(1)), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(ExtraRelays, items_that_cannot_be_read_are_traced_when_monitoring_starts_and_skipped)
{
    start("");
    h.window().moreRelays.setText("shack-pc :2237 127.0.0.1: 127.0.0.1:0 127.0.0.1:65536 127.0.0.1:22x "
                                  "127.0.0.1:65535");
    h.window().start.click(); // stop: nothing traced
    EXPECT_EQ(h.traceLines(), std::vector<std::string>{});
    h.window().start.click();
    const std::string prefix = "CStart: Error in WinsockServ[";
    const std::vector<std::string> expected = {
        prefix + "shack-pc]: 10022 - MoreRelays item skipped: no port (host:port expected)",
        prefix + ":2237]: 10022 - MoreRelays item skipped: no host (host:port expected)",
        prefix + "127.0.0.1:]: 10022 - MoreRelays item skipped: no port (host:port expected)",
        prefix + "127.0.0.1:0]: 10022 - MoreRelays item skipped: the port must be a number from 1 to 65535",
        prefix + "127.0.0.1:65536]: 10022 - MoreRelays item skipped: the port must be a number from 1 to 65535",
        prefix + "127.0.0.1:22x]: 10022 - MoreRelays item skipped: the port must be a number from 1 to 65535",
    };
    EXPECT_EQ(h.traceLines(), expected);

    h.clearTrace();
    h.receive("x");
    EXPECT_EQ(bytesOf(target(0)), std::vector<std::string>{"x"});
    EXPECT_EQ(target(0).remotePort(), 65535);
    EXPECT_EQ(h.sockets.size(), 5u) << "one socket for the one usable item";
    h.window().servIP.setText(""); // an empty relay field relays nothing, to no target
    h.receive("y");
    EXPECT_EQ(bytesOf(target(0)), std::vector<std::string>{"x"});
}

} // namespace
} // namespace qf::test
