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

    target(0).log.clear();
    h.receive("one");
    h.receive(wsjtx::heartbeatMessage());
    const std::vector<std::string> relayLines = {
        "    WinsockServ.Close",
        "    WinsockServ.SendData",
        "    WinsockServ[127.0.0.1:2238].SendData",
        "    WinsockServ[shack-pc:2333].SendData",
    };
    const auto lines = h.traceLines();
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.begin() + 7), relayLines);
    const std::vector<std::string> both = {"one", wsjtx::heartbeatMessage()};
    for (FakeUdpSocket* s : {&h.winsockServ(), &target(0), &target(1)}) {
        EXPECT_EQ(bytesOf(*s), both);
    }
    EXPECT_EQ(target(0).log, (std::vector<std::string>{"send", "send"})) << "a target's socket stays open";
    EXPECT_EQ(target(1).sent[0].host, "shack-pc");
    EXPECT_EQ(target(1).sent[0].port, 2333);

    h.window().start.click();
    EXPECT_TRUE(h.window().moreRelays.enabled());
}

TEST_F(ExtraRelays, a_failing_target_stops_neither_the_others_nor_the_main_relay)
{
    start("nowhere.invalid:2238 127.0.0.1:2239 127.0.0.1:2240");
    target(0).usable = false; // its name did not resolve: said once, not once per datagram
    target(1).sendFailure = Failure(10065, "No route to host");
    h.winsockServ().sendFailure = Failure(10065, "No route to host");
    h.receive("a");
    h.receive("b");
    const auto lines = h.traceLines();
    const auto count = [&](const std::string& line) { return std::count(lines.begin(), lines.end(), line); };
    EXPECT_EQ(count("Winsock1.DataArrival: ** Error in WinsockServ[nowhere.invalid:2238]: 11001 - Host not found "
                    "(nothing is relayed there until the name resolves)"),
              1);
    EXPECT_EQ(count("Winsock1.DataArrival: ** Error in WinsockServ[127.0.0.1:2239]: 10065 - No route to host"), 2);
    EXPECT_EQ(bytesOf(target(2)), (std::vector<std::string>{"a", "b"}));
    target(0).usable = true;
    h.receive("c");
    EXPECT_EQ(bytesOf(target(0)), std::vector<std::string>{"c"});

    // What the socket reports itself is traced like the main relay's, naming the target; the socket stays open.
    h.clearTrace();
    target(2).receive("HELLO");
    target(2).raiseError(10061, "Connection refused");
    const std::vector<std::string> expected = {
        "WinsockServ[127.0.0.1:2240]: DataArrival: bytesTotal= 5, WinsockServ[127.0.0.1:2240].State= 1",
        "WinsockServ[127.0.0.1:2240]: Recibido: HELLO",
        "WinSockServ[127.0.0.1:2240]: Error (10061) Connection refused",
    };
    EXPECT_EQ(h.traceLines(), expected);
    EXPECT_EQ(target(2).state(), 1);
    h.receive("d");
    EXPECT_EQ(bytesOf(target(2)), (std::vector<std::string>{"a", "b", "c", "d"}));
}

// A set-up that fails leaves the socket with its old target: nothing may go there, and nothing is
// said per datagram, until a set-up succeeds.
TEST_F(ExtraRelays, after_a_failed_set_up_nothing_is_relayed_through_that_socket_until_one_succeeds)
{
    start("127.0.0.1:2238");
    h.window().start.click();
    h.window().servPort.setText("70000");
    target(0).bindFailure = Failure(10048, "Address already in use");
    h.window().start.click();
    h.clearTrace();
    const std::size_t mainBefore = h.winsockServ().sent.size();
    h.receive("x");
    h.receive("y");
    EXPECT_EQ(h.winsockServ().sent.size(), mainBefore);
    EXPECT_TRUE(target(0).sent.empty());
    for (const std::string& line : h.traceLines()) {
        EXPECT_EQ(line.find("WinsockServ"), std::string::npos) << line;
    }

    h.window().start.click();
    h.window().servPort.setText("52237");
    target(0).bindFailure.reset();
    h.window().start.click();
    h.receive("z");
    EXPECT_EQ(h.winsockServ().sent.back().bytes, "z");
    EXPECT_EQ(h.winsockServ().sent.back().port, 52237);
    EXPECT_EQ(bytesOf(target(0)), std::vector<std::string>{"z"});
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
