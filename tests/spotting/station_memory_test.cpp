#include <gtest/gtest.h>

#include "spotting/station_memory.h"
#include "support/program_harness.h"

namespace qf::test {
namespace {

// A station memory of its own, on the harness's window, clock and trace file.
class Memory : public ::testing::Test {
  protected:
    void SetUp() override
    {
        h.readyOperator();
        h.program->startUp();
        trace.setAppFolder(kAppFolder);
        spots.setStationCount([this] { return memory.size(); });
        h.clearTrace();
    }
    void at(int hour, int minute, int second) { h.clock.jumpTo(DateTime{2026, 12, 7, hour, minute, second}); }
    void report(StationMemory& m, const std::string& call, const std::string& locator = "FN42",
                const std::string& mode = "FT8")
    {
        m.reportStation(HeardStation{call, locator, mode, -12, 1520, "CQ"});
    }
    void report(const std::string& call, const std::string& locator = "FN42", const std::string& mode = "FT8")
    {
        report(memory, call, locator, mode);
    }
    std::int64_t spotCount() { return h.program->state().spotCount; }

    ProgramHarness h;
    TraceWriter trace{h.window(), h.files, h.clock, h.regional};
    FakeUdpSocket socket;
    std::unique_ptr<FakeTimer> timer = h.clock.makeTimer();
    SpotSender spots{h.window(), h.program->state(), h.clock, h.regional, trace, socket, *timer};
    StationMemory memory{h.window(), h.clock, h.regional, trace, spots};
};

TEST_F(Memory, a_new_station_is_stored_then_spotted_and_a_known_one_is_timed)
{
    at(10, 0, 0);
    report("Q1AAA");
    std::vector<std::string> expected = {
        "    Sending spot 1 to Orbalis: "
        "OMID=Q9ZZZ,OMLOC=FN42HN,QRG=0,TXID=Q1AAA,MODE=FT8,SNR=-12,DF=1520,CQ=CQ,VER=2.16",
        "  >>> New Callsign Q1AAA to array. Ind=0, Loc=FN42 >>>",
    };
    EXPECT_EQ(h.traceLines(), expected);
    EXPECT_EQ(h.window().numSpots.caption(), "1 spots sent since 07/12/2026 10:00:00 / Locator of 1 stations in memory")
        << "the new station is counted before its spot";

    at(10, 2, 0);
    report("Q2BBB", "EN37AB");
    EXPECT_TRUE(h.traced("  >>> New Callsign Q2BBB to array. Ind=1, Loc=EN37AB >>>"));

    h.clearTrace();
    at(10, 10, 30);
    report("Q1AAA", "FN42", "JT65");
    EXPECT_EQ(h.traceLines(),
              std::vector<std::string>{"  >>> Time lapse=10 for Callsign=Q1AAA since 07/12/2026 10:00:00. Ind=0 >>>"});
    EXPECT_EQ(spotCount(), 2) << "another mode within the window is not spotted again";

    h.clearTrace();
    at(10, 17, 0);
    report("Q1AAA");
    expected = {
        "  >>> Time lapse=17 for Callsign=Q1AAA since 07/12/2026 10:00:00. Ind=0 >>>",
        "    Sending spot 3 to Orbalis: "
        "OMID=Q9ZZZ,OMLOC=FN42HN,QRG=0,TXID=Q1AAA,MODE=FT8,SNR=-12,DF=1520,CQ=CQ,VER=2.16",
    };
    EXPECT_EQ(h.traceLines(), expected);
    EXPECT_EQ(memory.lastSpotAt(0), (DateTime{2026, 12, 7, 10, 17, 0}));
    EXPECT_EQ(memory.size(), 2u);
}

TEST_F(Memory, minutes_are_counted_on_whole_clock_minutes)
{
    const struct {
        DateTime lastSpot;
        DateTime now;
        int t;
        bool spotted;
    } rows[] = {
        {{2026, 12, 7, 10, 0, 0}, {2026, 12, 7, 10, 15, 59}, 15, false},
        {{2026, 12, 7, 10, 0, 0}, {2026, 12, 7, 10, 16, 0}, 16, true},
        {{2026, 12, 7, 10, 0, 59}, {2026, 12, 7, 10, 16, 0}, 16, true},
        {{2026, 12, 7, 10, 0, 59}, {2026, 12, 7, 10, 15, 0}, 15, false},
        {{2026, 12, 7, 23, 50, 0}, {2026, 12, 8, 0, 6, 0}, 16, true},
        {{2026, 12, 7, 10, 0, 0}, {2026, 12, 7, 9, 50, 30}, -10, false},
    };
    int n = 0;
    for (const auto& row : rows) {
        const std::string call = "Q" + std::to_string(++n) + "ROW";
        h.clock.jumpTo(row.lastSpot);
        report(call);
        const std::int64_t before = spotCount();
        h.clearTrace();
        h.clock.jumpTo(row.now);
        report(call);
        EXPECT_TRUE(
            h.traceLines().front().starts_with("  >>> Time lapse=" + std::to_string(row.t) + " for Callsign=" + call))
            << n << ": " << h.traceLines().front();
        EXPECT_EQ(spotCount(), before + (row.spotted ? 1 : 0)) << n;
        EXPECT_EQ(memory.lastSpotAt(memory.findStation(call)), row.spotted ? row.now : row.lastSpot) << n;
    }
}

TEST_F(Memory, suppressed_reports_do_not_move_the_window_and_a_clock_set_back_waits)
{
    at(10, 0, 0);
    report("Q1AAA");
    at(9, 50, 0);
    report("Q1AAA");
    EXPECT_TRUE(h.traced("  >>> Time lapse=-10 for Callsign=Q1AAA since 07/12/2026 10:00:00. Ind=0 >>>"));
    at(10, 10, 0);
    report("Q1AAA");
    at(10, 15, 59);
    report("Q1AAA");
    EXPECT_EQ(spotCount(), 1);
    at(10, 16, 0);
    report("Q1AAA");
    EXPECT_EQ(spotCount(), 2);
}

TEST_F(Memory, a_suppressed_report_ends_the_pane_line_of_its_decode)
{
    at(10, 0, 0);
    report("Q1AAA");
    h.window().dx.appendLine("Q9ZZZ Q1AAA RR73 (SNR=-12dB / DF=1520 / Mode=126)");
    at(10, 5, 0);
    report("Q1AAA");
    EXPECT_EQ(h.window().dx.text(), "\r\nQ9ZZZ Q1AAA RR73 (SNR=-12dB / DF=1520 / Mode=126) (T<15)");
    EXPECT_EQ(h.window().dx.caret(), h.window().dx.length());
}

TEST_F(Memory, callsigns_differing_in_case_are_different_stations)
{
    report("Q1AAA");
    report("q1aaa");
    EXPECT_EQ(memory.findStation("Q1AAA"), 0);
    EXPECT_EQ(memory.findStation("q1aaa"), 1);
    EXPECT_EQ(memory.findStation("Q1aaa"), -1);
    EXPECT_EQ(spotCount(), 2);
}

TEST_F(Memory, a_remembered_station_with_a_new_locator_is_spotted_with_it_and_keeps_the_first)
{
    at(10, 0, 0);
    report("Q1AAA", "FN42");
    at(10, 16, 0);
    report("Q1AAA", "EN37");
    ASSERT_EQ(spots.queue().size(), 2u);
    EXPECT_NE(spots.queue().back().find("|Q1AAA|EN37|"), std::string::npos) << spots.queue().back();
    EXPECT_EQ(memory.locatorAt(0), "FN42");
    EXPECT_EQ(h.window().numSpots.caption(),
              "2 spots sent since 07/12/2026 10:00:00 / Locator of 1 stations in memory");
}

TEST_F(Memory, a_full_table_gives_the_entry_spotted_longest_ago_to_the_new_station)
{
    StationMemory small{h.window(), h.clock, h.regional, trace, spots, 3};
    spots.setStationCount([&small] { return small.size(); });
    at(10, 0, 0);
    report(small, "Q1AAA");
    at(10, 1, 0);
    report(small, "Q2BBB");
    at(10, 2, 0);
    report(small, "Q3CCC");
    at(10, 20, 0);
    report(small, "Q1AAA"); // spotted again: now the newest

    h.clearTrace();
    at(10, 21, 0);
    report(small, "Q4DDD", "JO22");
    std::vector<std::string> expected = {
        "  >>> Station memory full: Callsign Q2BBB at Ind=1 replaced by Q4DDD >>>",
        "    Sending spot 5 to Orbalis: "
        "OMID=Q9ZZZ,OMLOC=FN42HN,QRG=0,TXID=Q4DDD,MODE=FT8,SNR=-12,DF=1520,CQ=CQ,VER=2.16",
        "  >>> New Callsign Q4DDD to array. Ind=1, Loc=JO22 >>>",
    };
    EXPECT_EQ(h.traceLines(), expected);
    EXPECT_EQ(small.size(), 3u);
    EXPECT_EQ(small.findStation("Q2BBB"), -1);
    EXPECT_EQ(small.findStation("Q4DDD"), 1);
    EXPECT_EQ(small.locatorAt(1), "JO22");
    EXPECT_EQ(h.window().numSpots.caption(),
              "5 spots sent since 07/12/2026 10:00:00 / Locator of 3 stations in memory");

    at(10, 22, 0);
    report(small, "Q2BBB");
    EXPECT_TRUE(h.traced("  >>> Station memory full: Callsign Q3CCC at Ind=2 replaced by Q2BBB >>>"));
    EXPECT_EQ(small.findStation("Q2BBB"), 2);
    EXPECT_EQ(small.findStation("Q1AAA"), 0);
    EXPECT_EQ(spotCount(), 6);
}

} // namespace
} // namespace qf::test
