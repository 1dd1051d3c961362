#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <thread>

#include "e2e/e2e_support.h"
#include "wsjtx/datagram_builder.h"

namespace qf::e2e {
namespace {

using namespace std::chrono_literals;

class Program : public ProgramFolder {};

TEST_F(Program, first_run_creates_the_folder_and_the_twelve_keys_in_order)
{
    RunningProgram p(dir.path());
    ASSERT_TRUE(waitFor([&] { return !readFile(folder() + "/config.ini").empty(); }, 10s)) << p.output();
    EXPECT_EQ(
        readFile(folder() + "/config.ini"),
        "[OPTIONS]\r\nUdpPort=2237\r\nMonitorOnStarup=0\r\nTrace=0\r\nMyStationId=\r\nMyLocator=\r\n"
        "MulticastGroup=\r\nServIP=127.0.0.1\r\nServPort=52237\r\nTop=0\r\nLeft=0\r\nLogUpload=0\r\nOnlyCQ=0\r\n");
    EXPECT_TRUE(p.running());
    EXPECT_EQ(p.stop(), 0);
}

TEST_F(Program, the_settings_option_is_found_beside_the_toolkits_own_options)
{
    // "-style" takes the next word as its value when the toolkit reads it.
    RunningProgram p(dir.path(), {"-style", "/c=radio2.ini"});
    ASSERT_TRUE(waitFor([&] { return !readFile(folder() + "/RADIO2.INI").empty(); }, 10s)) << p.output();
    EXPECT_TRUE(readFile(folder() + "/config.ini").empty());
    EXPECT_EQ(p.stop(), 0);
}

TEST_F(Program, auto_start_relays_every_datagram_unchanged_and_in_order)
{
    UdpPeer relay;
    const int port = freeUdpPort();
    prepare(readyConfig(port, relay.port()));
    RunningProgram p(dir.path());
    ASSERT_TRUE(started()) << p.output();

    UdpPeer sender;
    std::vector<std::string> sent = {
        wsjtx::heartbeatMessage(),
        wsjtx::statusMessage({}),
        "",
        "not a WSJT-X datagram",
        std::string("\xAD\xBC\xCB\xDA\x00\x00\x00\x04", 8),
        wsjtx::DatagramBuilder().u32(wsjtx::kMagic).i32(2).i32(2).i32(-2147483647 - 1),
        wsjtx::decodeMessage({}),
        wsjtx::qsoLoggedMessage({}),
    };
    for (int i = 0; i < 200; ++i) {
        wsjtx::DecodeFields d;
        d.message = "CQ Q" + std::to_string(i) + "AA FN42";
        sent.push_back(wsjtx::decodeMessage(d));
    }
    // A little ahead of the relay listener, in case the bind is still in progress.
    ASSERT_TRUE(relayFlows(sender, port, relay));
    for (const auto& d : sent) {
        sender.sendTo(port, d);
    }
    const auto got = relay.receiveAll(2000ms, 20s);
    ASSERT_EQ(got.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(got[i], sent[i]) << i;
    }
    const std::string trace = readFile(folder() + "/Trace.txt");
    EXPECT_NE(trace.find("  Message ID (6E 6F 74 20) does not correspond to WSJT-X"), std::string::npos);
    EXPECT_NE(trace.find("  MSG_1: QRG=14.074.000 / Mode=FT8 (QRG changed)"), std::string::npos);
    EXPECT_TRUE(p.running());
}

// Two radio programs on one port and a logger behind the relay that answers one of them.
TEST_F(Program, a_relay_targets_answer_reaches_the_radio_program_it_names_byte_for_byte)
{
    UdpPeer relay;
    UdpPeer logger;
    const int port = freeUdpPort();
    prepare(readyConfig(port, relay.port(), true,
                        "PassReplies=1\r\nMoreRelays=127.0.0.1:" + std::to_string(logger.port()) + "\r\n"));
    RunningProgram p(dir.path());
    ASSERT_TRUE(started()) << p.output();
    UdpPeer ic7300;
    UdpPeer jtdx;
    ASSERT_TRUE(relayFlows(ic7300, port, relay));
    ic7300.sendTo(port, wsjtx::heartbeatMessage("WSJT-X - IC7300"));
    jtdx.sendTo(port, wsjtx::heartbeatMessage("JTDX"));
    std::vector<std::string> atLogger;
    ASSERT_TRUE(waitFor(
        [&] {
            for (auto d = logger.receive(20ms); d; d = logger.receive(20ms)) {
                atLogger.push_back(*d);
            }
            return !atLogger.empty() && atLogger.back() == wsjtx::heartbeatMessage("JTDX");
        },
        10s));

    const std::string reply = wsjtx::DatagramBuilder()
                                  .header(2, wsjtx::Reply, "JTDX")
                                  .u32(36000000)
                                  .i32(-12)
                                  .raw(std::string("\0\xFF|\r\n", 5))
                                  .utf8("CQ Q1AAA FN42");
    logger.sendTo(logger.lastSenderPort(), reply);
    const auto got = jtdx.receive(5s);
    ASSERT_TRUE(got) << readFile(tracePath());
    EXPECT_EQ(*got, reply);
    EXPECT_EQ(jtdx.lastSenderPort(), port) << "from the port the radio program sends to";
    EXPECT_FALSE(ic7300.receive(300ms)) << "the other radio program gets nothing";
}

TEST_F(Program, a_port_in_use_keeps_monitoring_off_and_the_program_running)
{
    UdpPeer squatter;
    prepare(readyConfig(squatter.port(), freeUdpPort()));
    RunningProgram p(dir.path());
    ASSERT_TRUE(waitFor([&] { return readFile(folder() + "/Trace.txt").find("10048") != std::string::npos; }, 10s))
        << p.output();
    EXPECT_NE(readFile(folder() + "/Trace.txt").find("CStart: Error in Winsock1: 10048 - "), std::string::npos);
    EXPECT_TRUE(p.running()) << "the message box waits for the operator";
    EXPECT_EQ(p.stop(), 0) << "a logout or kill ends it even while the box is open";
}

TEST_F(Program, an_uploaded_qso_reaches_the_spot_service_as_one_record)
{
    const auto service = spotService();
    if (!service) {
        GTEST_SKIP() << "this build sends its records to another host";
    }
    const int port = freeUdpPort();
    std::string config = readyConfig(port, freeUdpPort());
    config.replace(config.find("LogUpload=0"), 11, "LogUpload=1");
    prepare(config);
    RunningProgram p(dir.path());
    ASSERT_TRUE(started());
    UdpPeer sender;
    sender.sendTo(port, wsjtx::qsoLoggedMessage({}));
    const auto got = service->receiveAll(1500ms, 10s);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], "QFLOG|" QUILLFEED_TEST_VERSION "|A|Q9ZZZ|20261207180530|Q1AAA|14075|FT8|IN80|");
}

// Another program (a stand-in service, a second test run) may hold 127.0.0.1:7350 where the tests
// start: each test takes the port in a namespace of its own. The holder here sits in this test's own
// namespace, from which a service test is run, so the machine's port is left alone.
TEST(SpotServicePort, a_service_test_passes_while_another_socket_holds_the_port)
{
    ASSERT_TRUE(networkIsolated()) << "holding the port would take the machine's";
    UdpPeer holder(kSpotServicePort);
    char self[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
    const std::string out =
        commandOutput(std::string("'") + self +
                      "' --gtest_filter=Program.an_uploaded_qso_reaches_the_spot_service_as_one_record 2>&1");
    EXPECT_NE(out.find("[  PASSED  ] 1 test."), std::string::npos) << out;
    EXPECT_EQ(out.find("SKIPPED"), std::string::npos) << out;
    EXPECT_FALSE(holder.receive(0ms)) << "the record went to the test's own service";
}

TEST_F(Program, decodes_become_spot_records_at_the_spot_service)
{
    const auto service = spotService();
    if (!service) {
        GTEST_SKIP() << "this build sends its records to another host";
    }
    const int port = freeUdpPort();
    prepare(readyConfig(port, freeUdpPort(), false));
    RunningProgram p(dir.path());
    UdpPeer sender;
    ASSERT_TRUE(waitFor([&] { return p.running(); }, 2s));
    std::this_thread::sleep_for(1s);
    sender.sendTo(port, wsjtx::statusMessage({}));
    std::this_thread::sleep_for(16500ms);
    const char* texts[] = {"CQ Q1AAA FN42", "CQ DX Q1BBB IN80", "Q9ZZZ Q1CCC EN37", "CQ Q1AAA FN42",
                           "Q1DDD Q1EEE RR73"};
    for (const char* t : texts) {
        wsjtx::DecodeFields d;
        d.message = t;
        sender.sendTo(port, wsjtx::decodeMessage(d));
    }
    std::vector<std::string> got;
    waitFor(
        [&] {
            if (auto d = service->receive(200ms)) {
                got.push_back(*d);
            }
            return got.size() >= 3;
        },
        55s);
    const auto more = service->receiveAll(1000ms, 2s);
    got.insert(got.end(), more.begin(), more.end());
    const std::string v = QUILLFEED_TEST_VERSION;
    const std::vector<std::string> expected = {
        "WSJT|Q9ZZZ|FN42HN|14074000|Q1AAA|FN42|FT8|-12|1520|CQ|" + v,
        "WSJT|Q9ZZZ|FN42HN|14074000|Q1BBB|IN80|FT8|-12|1520|DX|" + v,
        "WSJT|Q9ZZZ|FN42HN|14074000|Q1CCC|EN37|FT8|-12|1520|HRD|" + v,
    };
    EXPECT_EQ(got, expected);
}

} // namespace
} // namespace qf::e2e

namespace qf::e2e {
namespace {

// Runs the sender tool and returns its standard output.
std::string runSender(const std::string& arguments)
{
    return commandOutput(std::string(QUILLFEED_SEND_BINARY) + " " + arguments + " 2>/dev/null");
}

TEST_F(Program, the_sender_tools_session_and_malformed_datagrams_are_all_relayed_in_order)
{
    UdpPeer relay;
    const int port = freeUdpPort();
    prepare(readyConfig(port, relay.port()));
    RunningProgram p(dir.path());
    ASSERT_TRUE(started()) << p.output();
    UdpPeer sender;
    ASSERT_TRUE(relayFlows(sender, port, relay));

    const std::string p_ = "--port " + std::to_string(port) + " ";
    std::string out = runSender(p_ + "raw \"\"");
    out += runSender(p_ + "raw ADBCCBDA");
    out += runSender(p_ + "raw ADBCCBDA00000004000000010000");
    out += runSender(p_ + "raw ADBCCBDA0000000200000002FFFFFFFF");
    out += runSender(p_ + "session --quick");
    const auto lines = static_cast<std::size_t>(std::count(out.begin(), out.end(), '\n'));
    const auto got = relay.receiveAll(2000ms, 30s);
    EXPECT_GE(lines, 10u) << out;
    ASSERT_EQ(got.size(), lines) << out;
    EXPECT_EQ(got[0], "");
    EXPECT_EQ(got[1], std::string("\xAD\xBC\xCB\xDA", 4));
    EXPECT_TRUE(p.running());
    const std::string trace = readFile(folder() + "/Trace.txt");
    EXPECT_NE(trace.find("  Message schema (4) does not correspond to WSJT-X"), std::string::npos);
}

} // namespace
} // namespace qf::e2e
