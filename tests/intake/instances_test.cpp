#include <gtest/gtest.h>

#include "support/program_harness.h"

namespace qf::test {
namespace {

// Two radio programs on one port: each keeps its own frequency, mode and 15-second hold.
class TwoRadios : public ::testing::Test {
  protected:
    void SetUp() override
    {
        h.readyOperator();
        h.program->startUp();
        h.startMonitoring();
        h.clock.advance(16);
    }
    void status(const std::string& id, std::uint64_t hz, const std::string& mode = "FT8")
    {
        wsjtx::StatusFields s;
        s.id = id;
        s.dialHz = hz;
        s.mode = mode;
        h.winsock1().receiveFrom(senderOf(id), wsjtx::statusMessage(s));
    }
    void decode(const std::string& id, const std::string& text)
    {
        wsjtx::DecodeFields d;
        d.id = id;
        d.message = text;
        h.winsock1().receiveFrom(senderOf(id), wsjtx::decodeMessage(d));
    }
    static UdpSocket::Peer senderOf(const std::string& id) { return {"127.0.0.1", id == kHf ? 50001 : 50002}; }
    static inline const std::string kHf = "WSJT-X - IC7300";
    static inline const std::string kVhf = "JTDX";
    ProgramHarness h;
};

TEST_F(TwoRadios, each_spot_carries_the_frequency_of_the_radio_that_decoded_it_and_holds_are_per_radio)
{
    status(kHf, 14074000);
    status(kVhf, 7074000, "FT4");
    EXPECT_EQ(h.window().qrg.caption(), "7.074.000") << "the labels show the most recent Status";
    EXPECT_EQ(h.window().mode.caption(), "FT4");
    h.clock.advance(16);
    status(kVhf, 7074000, "FT4");
    status(kHf, 14074000);
    EXPECT_TRUE(h.traced("  MSG_1: QRG=14.074.000 / Mode=FT8 (QRG not changed) / Id=WSJT-X - IC7300"))
        << "the other radio's Status in between is not a change of this one's frequency";

    decode(kHf, "CQ Q1AAA FN42");
    decode(kVhf, "CQ Q1BBB EN37");
    EXPECT_NE(h.window().spots.text().find("Q1AAA CQ on 14074000 in FT8"), std::string::npos);
    EXPECT_NE(h.window().spots.text().find("Q1BBB CQ on 7074000 in FT4"), std::string::npos);

    // A change on one radio holds back only its own decodes.
    h.clock.advance(5);
    status(kVhf, 7047500, "FT4");
    decode(kHf, "CQ Q1CCC FN43");
    decode(kVhf, "CQ Q1DDD EN38");
    EXPECT_NE(h.window().spots.text().find("Q1CCC CQ on 14074000"), std::string::npos);
    EXPECT_EQ(h.window().spots.text().find("Q1DDD"), std::string::npos);
    EXPECT_TRUE(h.traced("  Message type=2 discarded"));

    // One memory for both: a station heard on the other radio within 15 minutes is not spotted again.
    h.clock.advance(16);
    decode(kVhf, "CQ Q1AAA FN42");
    EXPECT_EQ(h.program->state().spotCount, 3);
    h.clock.advance(60);
    h.program->timerSpots().onTick();
    const auto& sent = h.winsock2().sent;
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].bytes, "WSJT|Q9ZZZ|FN42HN|14074000|Q1AAA|FN42|FT8|-12|1520|CQ|2.16");
    EXPECT_EQ(sent[1].bytes, "WSJT|Q9ZZZ|FN42HN|7074000|Q1BBB|EN37|FT4|-12|1520|CQ|2.16");
}

TEST_F(TwoRadios, a_radio_without_a_status_yet_is_still_waiting)
{
    status(kHf, 14074000);
    h.clock.advance(16);
    decode(kVhf, "CQ Q1BBB EN37");
    EXPECT_TRUE(h.traced("  Still waiting for Frequency/mode"));
    EXPECT_EQ(h.program->state().decodeCount, 0);
}

TEST_F(TwoRadios, the_seventeenth_id_replaces_the_one_heard_longest_ago)
{
    for (int i = 0; i < 17; ++i) {
        h.receive(wsjtx::heartbeatMessage("radio " + std::to_string(i)));
        h.receive(wsjtx::heartbeatMessage("radio 0")); // radio 0 stays fresh; radio 1 ages
    }
    Instances& table = h.program->instances();
    EXPECT_EQ(table.size(), Instances::kMaxInstances);
    EXPECT_NE(table.find("radio 0"), nullptr);
    EXPECT_EQ(table.find("radio 1"), nullptr);
    EXPECT_NE(table.find("radio 16"), nullptr);
    EXPECT_EQ(table.lastHeard()->id, "radio 0");
}

// Without a window nobody types the callsign and locator: a first run monitors and relays without
// them, spots nothing until a Status gives them (a four-character grid is not taken), and stores
// them as if typed; a field the operator filled is never overwritten.
TEST(OwnStation, without_a_window_it_is_taken_from_a_status_and_spots_wait_for_it)
{
    ProgramHarness h({}, DateTime{2026, 12, 7, 10, 0, 0}, true);
    h.settingsFile("UdpPort=2237\r\nMonitorOnStarup=0\r\nTrace=1\r\nMyStationId=\r\nMyLocator=\r\nServIP=127.0.0.1\r\n"
                   "ServPort=52237\r\n");
    h.program->startUp();
    ASSERT_EQ(h.window().start.caption(), kStopCaption);
    EXPECT_TRUE(h.dialogs.messages.empty());
    const auto own = [&](const std::string& call, const std::string& grid) {
        wsjtx::StatusFields s;
        s.deCall = call;
        s.deGrid = grid;
        h.receive(wsjtx::statusMessage(s));
    };
    own("q1xyz", "FN42");
    h.clock.advance(16);
    h.decode("CQ Q1AAA FN42");
    EXPECT_TRUE(h.traced("  ** Station not spotted: your callsign and locator are not known yet"));
    EXPECT_EQ(h.winsockServ().sent.size(), 2u) << "relayed all the same";
    EXPECT_EQ(h.window().callsign.text(), "Q1XYZ");
    EXPECT_NE(h.files.files[kConfigPath].find("MyStationId=Q1XYZ\r\n"), std::string::npos);
    EXPECT_TRUE(h.traced("  Callsign Q1XYZ taken from WSJT-X"));
    EXPECT_EQ(h.window().locator.text(), "");

    own("Q2XYZ", "fn42hn");
    EXPECT_EQ(h.window().callsign.text(), "Q1XYZ");
    EXPECT_EQ(h.window().locator.text(), "FN42HN");
    EXPECT_NE(h.files.files[kConfigPath].find("MyLocator=FN42HN\r\n"), std::string::npos);
    own("Q3XYZ", "EN37AB");
    EXPECT_EQ(h.window().locator.text(), "FN42HN");
    h.decode("CQ Q1BBB FN43");
    EXPECT_EQ(h.program->state().spotCount, 1);
    EXPECT_EQ(h.notices.at(1), "Spots and QSO uploads wait for your callsign and locator: set MyStationId and "
                               "MyLocator, or let WSJT-X send them in its Status (a six-character grid)");
}

TEST(OwnStation, a_field_the_operator_filled_is_kept_even_when_it_cannot_spot)
{
    ProgramHarness h({}, DateTime{2026, 12, 7, 10, 0, 0}, true);
    h.settingsFile("UdpPort=2237\r\nMonitorOnStarup=1\r\nMyStationId=Q1\r\nMyLocator=FN42\r\nServIP=127.0.0.1\r\n"
                   "ServPort=52237\r\n");
    h.program->startUp();
    wsjtx::StatusFields s;
    s.deCall = "Q2XYZ";
    s.deGrid = "EN37AB";
    h.receive(wsjtx::statusMessage(s));
    EXPECT_EQ(h.window().callsign.text(), "Q1");
    EXPECT_EQ(h.window().locator.text(), "FN42");
}

} // namespace
} // namespace qf::test
