#include <gtest/gtest.h>

#include <algorithm>

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

// Shown, traced and relayed like any datagram, but the honest radio program's frequency, spots and
// reply address stay its own.
TEST_F(TwoRadios, a_stranger_using_a_radios_id_is_relayed_and_moves_nothing)
{
    status(kHf, 14074000);
    h.clock.advance(16);
    const UdpSocket::Peer stranger{"192.0.2.9", 2237};
    wsjtx::StatusFields s;
    s.id = kHf;
    s.dialHz = 7074000;
    wsjtx::DecodeFields d;
    d.id = kHf;
    d.message = "CQ Q1EVL FN42";
    for (const std::string& datagram : {wsjtx::statusMessage(s), wsjtx::decodeMessage(d)}) {
        h.winsock1().receiveFrom(stranger, datagram);
        EXPECT_EQ(h.winsockServ().sent.back().bytes, datagram);
    }
    EXPECT_EQ(h.window().qrg.caption(), "14.074.000");
    EXPECT_EQ(h.program->state().spotCount, 0);
    EXPECT_EQ(h.program->instances().find(kHf)->from, senderOf(kHf));
    const auto lines = h.traceLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "  Not taken from 192.0.2.9:2237: Id WSJT-X - IC7300 belongs to 127.0.0.1:50001, heard "
                         "within 60 s"),
              1);
}

// An Id stays with the address and port it was heard from while they are heard within 60 s (or
// until the radio program closes); a seventeenth Id only takes the place of one silent that long.
// A refusal is news once a minute.
TEST(Instances, an_id_keeps_its_owner_and_a_new_id_replaces_only_a_silent_one)
{
    const UdpSocket::Peer radio{"127.0.0.1", 50000};
    const UdpSocket::Peer stranger{"127.0.0.5", 40000};
    const UdpSocket::Peer restarted{"127.0.0.1", 50001};
    enum Outcome { Taken, Refused, RefusedSaid, Full, FullSaid };
    struct Step {
        int at; // seconds after the start
        const char* id;
        UdpSocket::Peer from;
        Outcome outcome;
        bool close = false;
    } steps[] = {
        {0, "WSJT-X", radio, Taken},
        {1, "WSJT-X", stranger, RefusedSaid},
        {30, "WSJT-X", radio, Taken},
        {31, "WSJT-X", stranger, Refused},
        {59, "WSJT-X", restarted, Refused},
        {61, "WSJT-X", stranger, RefusedSaid}, // a minute after the first line
        {90, "WSJT-X", radio, Taken, true},
        {91, "WSJT-X", restarted, Taken}, // closed: free at once
        {152, "WSJT-X", stranger, Taken}, // silent for 61 s
        {153, "WSJT-X", restarted, RefusedSaid},
    };
    Instances table;
    const DateTime start{2026, 12, 7, 10, 0, 0};
    for (const Step& step : steps) {
        const DateTime now = fromSeconds(toSeconds(start) + step.at);
        const Instances::Admission a = table.admit(step.id, step.from, now, start);
        const std::string name = std::to_string(step.at) + " s";
        ASSERT_EQ(a.instance != nullptr, step.outcome == Taken) << name;
        EXPECT_EQ(a.news, step.outcome == RefusedSaid || step.outcome == FullSaid) << name;
        if (a.instance != nullptr) {
            a.instance->closed = step.close;
        }
        EXPECT_EQ(table.find(step.id)->from, step.outcome == Taken ? step.from : a.owner->from) << name;
    }

    Instances full;
    for (int i = 0; i < 16; ++i) {
        full.admit("radio " + std::to_string(i), radio, fromSeconds(toSeconds(start) + i), start);
    }
    const Step crowd[] = {
        {20, "radio 16", stranger, FullSaid}, {40, "radio 17", stranger, Full},
        {60, "radio 0", radio, Taken},        {62, "radio 16", stranger, Taken}, // in place of radio 1, silent for 61 s
        {62, "radio 17", stranger, Full},                                        // radio 2 was heard 60 s ago
    };
    for (const Step& step : crowd) {
        const Instances::Admission a = full.admit(step.id, step.from, fromSeconds(toSeconds(start) + step.at), start);
        EXPECT_EQ(a.instance != nullptr, step.outcome == Taken) << step.id;
        EXPECT_EQ(a.news, step.outcome == FullSaid) << step.id;
    }
    EXPECT_EQ(full.size(), Instances::kMaxInstances);
    EXPECT_EQ(full.find("radio 1"), nullptr);
    EXPECT_NE(full.find("radio 0"), nullptr);
}

// Without a window nobody types the callsign and locator: a first run monitors and relays without
// them, spots nothing until a Status gives them (a four-character grid is not taken), and stores
// them as if typed; a field the operator filled is never overwritten. Only a Status from this machine
// gives them.
TEST(OwnStation, without_a_window_it_is_taken_from_a_status_and_spots_wait_for_it)
{
    ProgramHarness h({}, DateTime{2026, 12, 7, 10, 0, 0}, true);
    h.settingsFile("UdpPort=2237\r\nMonitorOnStarup=0\r\nTrace=1\r\nMyStationId=\r\nMyLocator=\r\nServIP=127.0.0.1\r\n"
                   "ServPort=52237\r\n");
    h.program->startUp();
    ASSERT_EQ(h.window().start.caption(), kStopCaption);
    EXPECT_TRUE(h.dialogs.messages.empty());
    const auto own = [&](const std::string& call, const std::string& grid,
                         const UdpSocket::Peer& from = FakeUdpSocket::kRadio) {
        wsjtx::StatusFields s;
        s.id = from == FakeUdpSocket::kRadio ? "WSJT-X" : "EVIL";
        s.deCall = call;
        s.deGrid = grid;
        h.winsock1().receiveFrom(from, wsjtx::statusMessage(s));
    };
    own("EVIL1", "AA00AA", {"192.0.2.9", 2237});
    EXPECT_TRUE(h.traced("  Callsign and locator of a Status from 192.0.2.9 not taken: not an address of this "
                         "computer"));
    EXPECT_EQ(h.window().callsign.text(), "");
    own("q1xyz", "FN42");
    h.clock.advance(16);
    h.decode("CQ Q1AAA FN42");
    EXPECT_TRUE(h.traced("  ** Station not spotted: your callsign and locator are not known yet"));
    EXPECT_EQ(h.winsockServ().sent.size(), 3u) << "relayed all the same";
    EXPECT_EQ(h.window().callsign.text(), "Q1XYZ");
    EXPECT_NE(h.files.files[kConfigPath].find("MyStationId=Q1XYZ\r\n"), std::string::npos);
    EXPECT_TRUE(h.traced("  callsign Q1XYZ taken from WSJT-X at 127.0.0.1"));
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
    EXPECT_EQ(h.notices.at(2), "callsign Q1XYZ taken from WSJT-X at 127.0.0.1");
    EXPECT_EQ(h.notices.at(3), "locator FN42HN taken from WSJT-X at 127.0.0.1");
}

TEST(OwnStation, what_is_taken_is_said_with_the_id_and_address_it_came_from)
{
    ProgramHarness h({}, DateTime{2026, 12, 7, 10, 0, 0}, true);
    h.settingsFile("UdpPort=2237\r\nMyStationId=\r\nMyLocator=\r\n");
    h.program->startUp();
    wsjtx::StatusFields s;
    s.deCall = "Q9ZZZ";
    s.deGrid = "FN42HN";
    h.receive(wsjtx::statusMessage(s));
    EXPECT_EQ(h.notices.back(), "callsign Q9ZZZ and locator FN42HN taken from WSJT-X at 127.0.0.1");
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
