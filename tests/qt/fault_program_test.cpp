// Faults of the real socket layer met by the program's behaviour: a spot service whose name does
// not resolve, and a receive port taken by another program during the watchdog's restart. The
// sockets are real; clock, timers, files and message boxes are fakes, so time moves only when told.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/program.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_file_system.h"
#include "platform/qt/qt_udp_socket.h"
#include "qt_test_support.h"
#include "wsjtx/datagram_builder.h"

namespace qf {
namespace {

using test::runEventsFor;
using test::runEventsUntil;

constexpr const char* kConfigFolder = "/home/op/.config";
constexpr const char* kAppFolder = "/home/op/.config/Quillfeed";
constexpr const char* kTracePath = "/home/op/.config/Quillfeed/Trace.txt";

int freePort()
{
    QtUdpSocket probe;
    probe.bind(0);
    return probe.localPort();
}

std::size_t countOf(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) {
        ++n;
    }
    return n;
}

class ProgramOnRealSockets {
  public:
    ProgramOnRealSockets(const std::string& spotServiceHost, int udpPort)
    {
        relay.onDataArrival = [this](int) { relayed.push_back(relay.getData()); };
        relay.bind(0);
        files.dirs = {kConfigFolder, kAppFolder};
        files.files[std::string(kAppFolder) + "/config.ini"] =
            "[OPTIONS]\r\nUdpPort=" + std::to_string(udpPort) +
            "\r\nMonitorOnStarup=1\r\nTrace=1\r\nMyStationId=Q9ZZZ\r\nMyLocator=FN42HN\r\nMulticastGroup=\r\n"
            "ServIP=127.0.0.1\r\nServPort=" +
            std::to_string(relay.localPort()) + "\r\nTop=0\r\nLeft=0\r\nLogUpload=1\r\nOnlyCQ=0\r\n";
        PlatformServices services{fakeClock,
                                  files,
                                  dialogs,
                                  shell,
                                  regional,
                                  [this] {
                                      auto s = std::make_unique<QtUdpSocket>();
                                      sockets.push_back(s.get());
                                      return s;
                                  },
                                  [this] { return fakeClock.makeTimer(); },
                                  kConfigFolder};
        services.spotServiceHost = spotServiceHost;
        services.versionText = "2.16";
        program = std::make_unique<Program>(services, std::vector<std::string>{});
        program->startUp();
        sender.setRemoteHost("127.0.0.1");
        sender.setRemotePort(udpPort);
    }

    std::string trace() const
    {
        const auto it = files.files.find(kTracePath);
        return it == files.files.end() ? std::string() : it->second;
    }
    bool traced(const std::string& part) const { return trace().find(part) != std::string::npos; }
    // Sends a datagram to the program and waits until the relay has passed it on.
    bool deliver(const std::string& datagram)
    {
        const std::size_t before = relayed.size();
        sender.sendData(datagram);
        return runEventsUntil([&] { return relayed.size() > before; });
    }

    test::FakeClock fakeClock;
    test::FakeFileSystem files;
    test::FakeDialogs dialogs;
    test::FakeShell shell;
    test::FakeRegional regional;
    QtUdpSocket relay;
    std::vector<std::string> relayed;
    QtUdpSocket sender;
    std::vector<QtUdpSocket*> sockets;
    std::unique_ptr<Program> program;
};

std::string decode(const std::string& text)
{
    wsjtx::DecodeFields d;
    d.message = text;
    return wsjtx::decodeMessage(d);
}

TEST(FaultOnRealSockets, an_unresolvable_spot_service_costs_one_trace_line_per_record_and_nothing_else)
{
    ProgramOnRealSockets p("no-such-spot-host.invalid", freePort());
    ASSERT_EQ(p.program->window().start.caption(), kStopCaption);

    ASSERT_TRUE(p.deliver(wsjtx::statusMessage({})));
    p.fakeClock.advance(16);
    for (const char* text : {"CQ Q1AAA FN42", "CQ DX Q1BBB IN80", "Q9ZZZ Q1CCC EN37"}) {
        ASSERT_TRUE(p.deliver(decode(text))) << text;
    }
    ASSERT_TRUE(p.deliver(wsjtx::qsoLoggedMessage({})));
    EXPECT_EQ(countOf(p.trace(), "    Sending spot "), 3u);
    p.fakeClock.advance(51);

    // Each record fails once, at the send or when the look-up gives up, whichever comes last.
    const std::string spotFailure = "    ** SendSpotFromTimer Error 11001 - Host not found";
    ASSERT_TRUE(runEventsUntil([&] { return countOf(p.trace(), spotFailure) == 3; }, 30000)) << p.trace();
    // The QSO is kept, whether its send failed or the failure came later, once the look-up gave up.
    const std::string kept = "11001 - Host not found *QFLOG|";
    ASSERT_TRUE(runEventsUntil([&] { return countOf(p.trace(), kept) == 1; }, 30000)) << p.trace();
    EXPECT_TRUE(p.traced("   QSO kept in the outbox: "));
    runEventsFor(200);
    EXPECT_EQ(countOf(p.trace(), "11001"), 5u) << "one failure per record sent, and the QSO kept";

    ASSERT_TRUE(p.deliver(decode("CQ Q1DDD JO22"))) << "the relay goes on";
    EXPECT_EQ(p.relayed.size(), 6u);
    EXPECT_TRUE(p.dialogs.messages.empty());
}

TEST(FaultOnRealSockets, a_port_taken_during_the_watchdog_restart_is_reported_and_monitoring_can_start_again)
{
    const int port = freePort();
    ProgramOnRealSockets p("127.0.0.1", port);
    ASSERT_EQ(p.program->window().start.caption(), kStopCaption);
    ASSERT_EQ(p.sockets.at(0)->localPort(), port);

    for (int s = 0; s < 7 * 60 && !p.program->window().inputHeld(); ++s) {
        p.fakeClock.advance(1);
    }
    ASSERT_TRUE(p.program->window().inputHeld()) << "the watchdog did not restart monitoring";
    EXPECT_TRUE(p.traced("** More than 5 minutes since last frame was received. Force restart monitoring **"));
    auto squatter = std::make_unique<QtUdpSocket>();
    squatter->bind(port);
    p.fakeClock.advance(5);

    EXPECT_TRUE(p.traced("CStart: Error in Winsock1: 10048 - ")) << p.trace();
    EXPECT_EQ(p.dialogs.messages,
              std::vector<std::string>{"UDP port " + std::to_string(port) +
                                       " is in use. Make sure that another copy of Quillfeed is not already running "
                                       "and that no other application is using that port"});
    EXPECT_EQ(p.program->window().start.caption(), kStartCaption);
    EXPECT_EQ(p.sockets.at(0)->state(), 0);

    squatter.reset();
    p.program->window().start.click();
    ASSERT_EQ(p.program->window().start.caption(), kStopCaption);
    ASSERT_TRUE(p.deliver(wsjtx::heartbeatMessage()));
    EXPECT_EQ(p.relayed.back(), wsjtx::heartbeatMessage());
}

} // namespace
} // namespace qf
