// The program started with --no-window and no display variables at all: it does its work over
// loopback as the windowed program does, and tells on standard error what a box would have shown.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <thread>

#include "e2e/e2e_support.h"
#include "wsjtx/datagram_builder.h"

namespace qf::e2e {
namespace {

using namespace std::chrono_literals;

class NoWindow : public ProgramFolder {};

TEST_F(NoWindow, binds_relays_uploads_and_spots_and_a_signal_ends_it_leaving_the_settings_as_they_were)
{
    const auto service = spotService();
    if (!service) {
        GTEST_SKIP() << "this build sends its records to another host";
    }
    UdpPeer relay;
    const int port = freeUdpPort();
    std::string config = readyConfig(port, relay.port());
    config.replace(config.find("LogUpload=0"), 11, "LogUpload=1");
    prepare(config);
    RunningProgram p(dir.path(), {"--no-window"}, "");
    ASSERT_TRUE(started()) << p.output();
    UdpPeer sender;
    ASSERT_TRUE(relayFlows(sender, port, relay)) << p.output();

    const std::vector<std::string> sent = {wsjtx::statusMessage({}), "not a WSJT-X datagram",
                                           wsjtx::qsoLoggedMessage({})};
    for (const auto& d : sent) {
        sender.sendTo(port, d);
    }
    EXPECT_EQ(relay.receiveAll(1000ms, 10s), sent);
    EXPECT_EQ(service->receive(5s), "QFLOG|" QUILLFEED_TEST_VERSION "|A|Q9ZZZ|20261207180530|Q1AAA|14075|FT8|IN80|");

    std::this_thread::sleep_for(16500ms); // decodes are held back 15 s after a new frequency
    wsjtx::DecodeFields d;
    d.message = "CQ Q1AAA FN42";
    sender.sendTo(port, wsjtx::decodeMessage(d));
    EXPECT_EQ(service->receive(55s), "WSJT|Q9ZZZ|FN42HN|14074000|Q1AAA|FN42|FT8|-12|1520|CQ|" QUILLFEED_TEST_VERSION);

    EXPECT_EQ(p.stop(), 0);
    EXPECT_EQ(readFile(folder() + "/config.ini"), config);
    EXPECT_EQ(p.output(), "quillfeed: listening on UDP port " + std::to_string(port) +
                              ", relaying to 127.0.0.1:" + std::to_string(relay.port()) +
                              ", spots to " QUILLFEED_TEST_SPOT_HOST
                              " port 7350, status page: http://127.0.0.1:8737/\nquillfeed: QSO with Q1AAA sent to "
                              "the online log\n")
        << "what it does, and nothing else";
}

// Nobody is there to press Start: a port that was taken is tried again every minute until it is free.
TEST_F(NoWindow, a_port_in_use_is_one_line_and_once_it_is_free_the_program_listens_by_itself)
{
    auto squatter = std::make_unique<UdpPeer>();
    const int port = squatter->port();
    UdpPeer relay;
    std::string config = readyConfig(port, relay.port());
    config.replace(config.find("MonitorOnStarup=1"), 17, "MonitorOnStarup=0");
    prepare(config);
    RunningProgram p(dir.path(), {"--no-window"}, "");
    const std::string line = "quillfeed: UDP port " + std::to_string(port) +
                             " is in use. Make sure that another copy of Quillfeed is not already running and that "
                             "no other application is using that port\n";
    ASSERT_TRUE(waitFor([&] { return p.output() == line; }, 10s)) << p.output();
    EXPECT_NE(trace().find("CStart: Error in Winsock1: 10048 - "), std::string::npos);
    squatter.reset();

    const std::string listening = "quillfeed: listening on UDP port " + std::to_string(port) + ",";
    ASSERT_TRUE(waitFor([&] { return p.output().find(listening) != std::string::npos; }, 65s)) << p.output();
    UdpPeer sender;
    EXPECT_TRUE(relayFlows(sender, port, relay));
    EXPECT_EQ(p.stop(), 0);
}

TEST_F(NoWindow, without_the_option_and_without_a_display_it_exits_2_with_one_line_naming_the_option)
{
    RunningProgram p(dir.path(), {}, "");
    ASSERT_TRUE(waitFor([&] { return !p.output().empty(); }, 10s));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(p.stop(), 2);
    const std::string out = p.output();
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    EXPECT_NE(out.find("--no-window"), std::string::npos) << out;
    struct stat st {};
    EXPECT_NE(::stat(folder().c_str(), &st), 0) << "nothing is created";
}

} // namespace
} // namespace qf::e2e
