#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes/fake_status_server.h"
#include "support/program_harness.h"

namespace qf::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class StatusProgram : public ::testing::Test {
  protected:
    void start(const std::string& extra, bool noWindow = false)
    {
        h = std::make_unique<ProgramHarness>(std::vector<std::string>{}, DateTime{2026, 12, 7, 10, 0, 0}, noWindow,
                                             [this](PlatformServices& s) {
                                                 s.makeStatusServer = [this] {
                                                     auto server = std::make_unique<FakeStatusServer>();
                                                     server->listenFailure = listenFailure;
                                                     servers.push_back(server.get());
                                                     return server;
                                                 };
                                             });
        h->readyOperator(extra);
        if (uploading) {
            std::string& file = h->files.files[kConfigPath];
            file.replace(file.find("LogUpload=0"), 11, "LogUpload=1");
        }
        h->program->startUp();
    }
    std::unique_ptr<ProgramHarness> h;
    std::vector<FakeStatusServer*> servers;
    std::optional<Failure> listenFailure;
    bool uploading = false;
};

TEST_F(StatusProgram, the_snapshot_tells_what_each_radio_relay_target_spot_batch_and_qso_did)
{
    uploading = true;
    start("MoreRelays=127.0.0.1:2238\r\nPassReplies=1\r\n");
    h->startMonitoring();
    wsjtx::StatusFields jtdx;
    jtdx.id = "JTDX";
    jtdx.dialHz = 7074000;
    h->receive(wsjtx::statusMessage(jtdx));
    h->tuneTo();
    h->decode("CQ Q1AAA FN42");
    wsjtx::DecodeFields heardOn40;
    heardOn40.id = "JTDX";
    heardOn40.message = "CQ Q1BBB EN37";
    h->receive(wsjtx::decodeMessage(heardOn40));
    h->program->timerSpots().onTick();
    h->winsock2().raiseError(10061, "Connection refused");

    FakeUdpSocket& further = *h->sockets.at(4);
    further.receive(wsjtx::heartbeatMessage("WSJT-X"));      // passed back
    h->winsockServ().receive(wsjtx::heartbeatMessage("N1")); // no such radio program: refused
    h->winsockServ().raiseError(10065, "No route to host");

    wsjtx::QsoLoggedFields qso;
    qso.timeOff = 34200000; // 09:30:00
    h->receive(wsjtx::qsoLoggedMessage(qso));
    h->clock.advance(6); // not refused within 5 s: delivered
    wsjtx::QsoLoggedFields unsent = qso;
    unsent.dxCall = "Q1CCC";
    h->winsock3().sendFailure = Failure(11001, "Host not found");
    h->receive(wsjtx::qsoLoggedMessage(unsent));

    const std::string json = h->program->statusJson();
    EXPECT_THAT(json, HasSubstr("\"time\":\"2026-12-07T10:00:22\",\"health\":{\"text\":\"The spot service refused"));
    EXPECT_THAT(json, HasSubstr("\"state\":\"attention\"},\"monitoring\":true,\"udpPort\":\"2237\""));
    EXPECT_THAT(json, HasSubstr("\"radios\":[{\"id\":\"JTDX\",\"dialFrequency\":7074000,\"dialFrequencyText\":"
                                "\"7.074.000\",\"mode\":\"FT8\",\"heardSecondsAgo\":6,\"decodes\":1,\"spots\":1},"
                                "{\"id\":\"WSJT-X\",\"dialFrequency\":14074000,"));
    EXPECT_THAT(json, HasSubstr("\"relays\":[{\"target\":\"127.0.0.1:52237\",\"main\":true,\"relayed\":6,\"errors\":1,"
                                "\"lastError\":\"10065 - No route to host\",\"lastErrorTime\":\"2026-12-07T10:00:16\","
                                "\"repliesPassed\":0,\"repliesRefused\":1},{\"target\":\"127.0.0.1:2238\","
                                "\"main\":false,\"relayed\":6,\"errors\":0,\"lastError\":\"\",\"lastErrorTime\":null,"
                                "\"repliesPassed\":1,\"repliesRefused\":0}]"));
    EXPECT_THAT(json, HasSubstr("\"spots\":{\"sent\":2,\"refused\":1,\"queued\":0,\"lastBatch\":{\"time\":"
                                "\"2026-12-07T10:00:16\",\"records\":2,\"sent\":2,\"outcome\":\"refused: 10061 - "
                                "Connection refused\"}}"));
    EXPECT_THAT(json, HasSubstr("\"qsos\":{\"sent\":1,\"lastSent\":{\"call\":\"Q1AAA\",\"time\":\"2026-12-07T10:00:"
                                "21\"},\"outbox\":[\"Q1CCC\"]}"));
    EXPECT_THAT(json, HasSubstr("\"latestSpots\":[{\"time\":\"2026-12-07T10:00:16\",\"callsign\":\"Q1BBB\","
                                "\"locator\":\"EN37\",\"frequency\":7074000,\"mode\":\"FT8\",\"snr\":-12},"
                                "{\"time\":\"2026-12-07T10:00:16\",\"callsign\":\"Q1AAA\""));
    EXPECT_THAT(json, HasSubstr("\"history\":{\"firstMinute\":\"2026-12-07T09:01:00\",\"decodes\":[0,"));
    EXPECT_THAT(json, HasSubstr(",0,2],\"spots\":[0,"));
}

TEST_F(StatusProgram, the_start_line_and_the_tooltip_give_the_address_and_port_0_turns_the_page_off)
{
    start("", true);
    ASSERT_EQ(servers.size(), 1u);
    EXPECT_EQ(servers[0]->address, "127.0.0.1");
    EXPECT_EQ(servers[0]->port, 8737);
    ASSERT_FALSE(h->notices.empty());
    EXPECT_THAT(h->notices.front(), HasSubstr(", spots to spots.test port 7350, status page: http://127.0.0.1:8737/"));
    EXPECT_EQ(h->window().statusPage, "status page: http://127.0.0.1:8737/");
    EXPECT_EQ(servers[0]->request("GET", "/status.json").body, h->program->statusJson());

    servers.clear();
    start("StatusPort=0\r\n", true);
    EXPECT_TRUE(servers.empty()) << "nothing listens";
    EXPECT_EQ(h->window().statusPage, "");
    EXPECT_THAT(h->notices.front(), Not(HasSubstr("status page")));
}

TEST_F(StatusProgram, a_port_that_is_taken_is_said_once_and_monitoring_goes_on_without_the_page)
{
    listenFailure = Failure(10048, "Address already in use");
    start("", true);
    const std::string line =
        "status page off: port 8737 on 127.0.0.1: another program is using it; set StatusPort to a free port, or 0";
    EXPECT_EQ(std::count(h->notices.begin(), h->notices.end(), line), 1);
    EXPECT_TRUE(h->traced(line));
    EXPECT_EQ(h->window().statusPage, line);
    EXPECT_EQ(h->window().start.caption(), kStopCaption);
    h->clock.advance(120);
    EXPECT_EQ(std::count(h->notices.begin(), h->notices.end(), line), 1);
}

} // namespace
} // namespace qf::test
