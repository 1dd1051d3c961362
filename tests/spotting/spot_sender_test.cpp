#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "spotting/spot_sender.h"
#include "support/program_harness.h"

namespace qf::test {
namespace {

const std::string kExampleRecord = "WSJT|Q9ZZZ|FN42HN|14074000|Q1AAA|IN80|FT8|-12|1520|CQ|2.16";
const std::string kBoundLine = " queued spots to Orbalis: the oldest would wait more than 50 s";

// A distinct station for every index below 676.
std::string stationCall(int i)
{
    return std::string("Q1A") + static_cast<char>('A' + i / 26) + static_cast<char>('A' + i % 26);
}

// The heard callsign, field 5 of a spot record.
std::string recordCall(const std::string& record)
{
    std::size_t start = 0;
    for (int bar = 0; bar < 4; ++bar) {
        start = record.find('|', start) + 1;
    }
    return record.substr(start, record.find('|', start) - start);
}

// The program tuned to 14.074 MHz FT8, the clock at 18:05:30 on 7 December 2026.
class Spots : public ::testing::Test {
  protected:
    void SetUp() override
    {
        h.readyOperator();
        h.program->startUp();
        h.startMonitoring();
        h.tuneTo(14074000, "FT8");
        h.clearTrace();
        h.winsock2().log.clear();
    }
    Timer& timerSpots() { return h.program->timerSpots(); }
    ProgramHarness h{{}, DateTime{2026, 12, 7, 18, 5, 14}};
};

TEST_F(Spots, the_first_spot_is_counted_traced_shown_and_sent_after_the_drawn_delay)
{
    EXPECT_FALSE(timerSpots().enabled());
    h.decode("CQ Q1AAA IN80", -12, 1520);

    EXPECT_EQ(h.window().numSpots.caption(),
              "1 spots sent since 07/12/2026 18:05:14 / Locator of 1 stations in memory");
    EXPECT_TRUE(
        h.traced("    Sending spot 1 to Orbalis: OMID=Q9ZZZ,OMLOC=FN42HN,QRG=14074000,TXID=Q1AAA,MODE=FT8,SNR=-12,"
                 "DF=1520,CQ=CQ,VER=2.16"));
    EXPECT_EQ(h.window().spots.text(), "\r\n07/Dec/2026 18:05:30 - Q1AAA CQ on 14074000 in FT8 (SNR=-12, DF=1520)");
    EXPECT_EQ(h.window().spots.caret(), h.window().spots.length());

    ASSERT_TRUE(timerSpots().enabled());
    const int interval = timerSpots().interval();
    EXPECT_GE(interval, 1000);
    EXPECT_LE(interval, 50000);
    EXPECT_EQ(interval % 1000, 0);

    h.clock.advanceMs(interval - 1);
    EXPECT_TRUE(h.winsock2().sent.empty());
    h.clock.advanceMs(1);
    EXPECT_EQ(h.winsock2().sent, (std::vector<FakeUdpSocket::Sent>{{"spots.test", 7350, kExampleRecord}}));
    EXPECT_EQ(h.winsock2().log, (std::vector<std::string>{"close", "send"}));
}

TEST_F(Spots, the_pane_line_uses_the_regional_separators_and_month_names)
{
    h.regional.dateSep = "-";
    h.regional.timeSep = ".";
    h.decode("QRZ Q1AAA IN80", 5, 0);
    EXPECT_EQ(h.window().spots.text(), "\r\n07-Dec-2026 18.05.30 - Q1AAA QRZ on 14074000 in FT8 (SNR=5, DF=0)");
}

TEST_F(Spots, three_spots_two_seconds_apart_go_out_in_one_drain_in_order)
{
    const char* texts[] = {"CQ Q1AAA IN80", "CQ Q2BBB IN81", "CQ Q3CCC IN82"};
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            h.clock.advance(2);
        }
        h.decode(texts[i]);
        EXPECT_EQ(h.program->state().spotCount, i + 1);
        EXPECT_EQ(std::count(h.window().spots.text().begin(), h.window().spots.text().end(), '\n'), i + 1);
        EXPECT_EQ(h.clock.nowMs() + timerSpots().interval(), static_cast<FakeTimer&>(timerSpots()).dueMs())
            << "re-armed at every spot";
        if (i < 2) {
            ASSERT_GT(timerSpots().interval(), 2000) << "this start time must draw longer delays";
        }
    }
    EXPECT_TRUE(h.winsock2().sent.empty());
    h.clock.advanceMs(timerSpots().interval() - 1);
    EXPECT_TRUE(h.winsock2().sent.empty());
    h.clock.advanceMs(1);
    const std::vector<FakeUdpSocket::Sent> expected = {
        {"spots.test", 7350, "WSJT|Q9ZZZ|FN42HN|14074000|Q1AAA|IN80|FT8|-12|1520|CQ|2.16"},
        {"spots.test", 7350, "WSJT|Q9ZZZ|FN42HN|14074000|Q2BBB|IN81|FT8|-12|1520|CQ|2.16"},
        {"spots.test", 7350, "WSJT|Q9ZZZ|FN42HN|14074000|Q3CCC|IN82|FT8|-12|1520|CQ|2.16"},
    };
    EXPECT_EQ(h.winsock2().sent, expected);
    EXPECT_EQ(h.winsock2().log, (std::vector<std::string>{"close", "send", "close", "send", "close", "send"}));

    h.clock.advance(200);
    EXPECT_EQ(h.winsock2().sent.size(), 3u) << "ticks after the drain send nothing";
    EXPECT_TRUE(timerSpots().enabled());
}

TEST_F(Spots, a_repeat_spot_leaves_the_station_count_alone)
{
    h.decode("CQ Q1AAA IN80");
    h.clock.jumpTo(DateTime{2026, 12, 7, 18, 21, 30});
    h.decode("CQ Q1AAA IN80");
    EXPECT_EQ(h.window().numSpots.caption(),
              "2 spots sent since 07/12/2026 18:05:14 / Locator of 1 stations in memory");
}

TEST_F(Spots, the_count_goes_past_the_32_bit_range)
{
    h.program->state().spotCount = 2147483647;
    h.decode("CQ Q1AAA IN80");
    EXPECT_EQ(h.program->state().spotCount, 2147483648LL);
    EXPECT_TRUE(h.window().numSpots.caption().starts_with("2147483648 spots sent since "));
    EXPECT_TRUE(
        h.traced("    Sending spot 2147483648 to Orbalis: OMID=Q9ZZZ,OMLOC=FN42HN,QRG=14074000,TXID=Q1AAA,MODE=FT8,"
                 "SNR=-12,DF=1520,CQ=CQ,VER=2.16"));
}

TEST_F(Spots, an_unusable_spot_service_still_counts_shows_and_empties_the_queue)
{
    h.winsock2().sendFailure = Failure(11001, "Host not found");
    h.decode("CQ Q1AAA IN80");
    h.decode("CQ Q2BBB IN81");
    EXPECT_EQ(h.program->state().spotCount, 2);
    EXPECT_EQ(std::count(h.window().spots.text().begin(), h.window().spots.text().end(), '\n'), 2);
    h.clearTrace();
    h.clock.advance(50);
    EXPECT_EQ(h.traceLines(), (std::vector<std::string>{"    ** SendSpotFromTimer Error 11001 - Host not found",
                                                        "    ** SendSpotFromTimer Error 11001 - Host not found"}));
    EXPECT_TRUE(h.winsock2().sent.empty());

    h.winsock2().sendFailure.reset();
    h.clock.advance(100);
    EXPECT_TRUE(h.winsock2().sent.empty()) << "failed records are not retried";

    h.decode("CQ Q3CCC IN82");
    h.clock.advance(50);
    ASSERT_EQ(h.winsock2().sent.size(), 1u);
    EXPECT_NE(h.winsock2().sent[0].bytes.find("|Q3CCC|"), std::string::npos);
}

TEST_F(Spots, a_refusal_reported_later_by_the_spot_socket_is_one_trace_line)
{
    h.winsock2().raiseError(10061, "Connection refused");
    EXPECT_EQ(h.traceLines(), std::vector<std::string>{"    ** SendSpotFromTimer Error 10061 - Connection refused"});
}

TEST_F(Spots, under_a_spot_every_10_seconds_no_record_waits_more_than_50_seconds)
{
    std::map<std::string, std::int64_t> queuedAt;
    std::vector<std::string> sentCalls;
    for (int second = 0; second < 660; ++second) {
        if (second % 10 == 0 && second < 600) {
            const std::string call = stationCall(second / 10);
            queuedAt[call] = h.clock.nowMs();
            h.decode("CQ " + call + " IN80");
        }
        // Spots and intervals fall on whole seconds, so whatever left during this step left at its end.
        h.clock.advance(1);
        for (std::size_t i = sentCalls.size(); i < h.winsock2().sent.size(); ++i) {
            sentCalls.push_back(recordCall(h.winsock2().sent[i].bytes));
            EXPECT_LE(h.clock.nowMs() - queuedAt[sentCalls.back()], 50000) << sentCalls.back();
        }
    }
    ASSERT_EQ(sentCalls.size(), 60u);
    for (int i = 0; i < 60; ++i) {
        EXPECT_EQ(sentCalls[i], stationCall(i)) << "every record once, in the order queued";
    }
    const auto lines = h.traceLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const auto& line) { return line.ends_with(kBoundLine); }))
        << "the bound decided some batches";
}

TEST_F(Spots, spots_further_apart_than_their_delays_each_leave_alone_after_the_drawn_delay)
{
    std::set<int> intervals;
    for (int i = 0; i < 40; ++i) {
        h.decode("CQ " + stationCall(i) + " IN80");
        const int interval = timerSpots().interval();
        intervals.insert(interval);
        ASSERT_EQ(static_cast<FakeTimer&>(timerSpots()).dueMs(), h.clock.nowMs() + interval);
        h.clock.advanceMs(interval - 1);
        ASSERT_EQ(h.winsock2().sent.size(), static_cast<std::size_t>(i));
        h.clock.advanceMs(1);
        ASSERT_EQ(h.winsock2().sent.size(), static_cast<std::size_t>(i + 1));
        EXPECT_EQ(recordCall(h.winsock2().sent.back().bytes), stationCall(i));
        h.clock.advance(i % 7);
    }
    EXPECT_GT(intervals.size(), 15u);
    for (const std::string& line : h.traceLines()) {
        EXPECT_EQ(line.find(" queued spots to Orbalis: "), std::string::npos) << line;
    }
}

// A spot sender of its own, for the values decode analysis never hands on.
class SpotRecords : public Spots {
  protected:
    void SetUp() override
    {
        Spots::SetUp();
        trace.setAppFolder(kAppFolder);
        sender.setStationCount([] { return std::size_t{7}; });
    }
    TraceWriter trace{h.window(), h.files, h.clock, h.regional};
    FakeUdpSocket socket;
    std::unique_ptr<FakeTimer> timer = h.clock.makeTimer();
    SpotSender sender{h.window(), h.program->state(), h.clock, h.regional, trace, socket, *timer};
};

TEST_F(SpotRecords, records_have_eleven_fields_and_the_pane_line_follows_them)
{
    const struct {
        const char* name;
        const char* ownCall;
        const char* ownLocator;
        HeardStation station;
        const char* record;
        const char* paneLine;
    } rows[] = {
        {"example",
         "Q9ZZZ",
         "FN42HN",
         {"Q1AAA", "IN80", "FT8", -12, 1520, "CQ", 14074000},
         "WSJT|Q9ZZZ|FN42HN|14074000|Q1AAA|IN80|FT8|-12|1520|CQ|2.16",
         "07/Dec/2026 18:05:30 - Q1AAA CQ on 14074000 in FT8 (SNR=-12, DF=1520)"},
        {"empty kind",
         "Q9ZZZ",
         "FN42HN",
         {"Q1AAA", "IN80", "FT8", -12, 1520, "", 14074000},
         "WSJT|Q9ZZZ|FN42HN|14074000|Q1AAA|IN80|FT8|-12|1520||2.16",
         "07/Dec/2026 18:05:30 - Q1AAA  on 14074000 in FT8 (SNR=-12, DF=1520)"},
        {"empty own fields",
         "",
         "",
         {"Q1AAA", "IN80AB", "JT9", 0, 0, "HRD", 14074000},
         "WSJT|||14074000|Q1AAA|IN80AB|JT9|0|0|HRD|2.16",
         "07/Dec/2026 18:05:30 - Q1AAA HRD on 14074000 in JT9 (SNR=0, DF=0)"},
        {"bar in a field",
         "Q9ZZZ",
         "FN42HN",
         {"Q1|A", "IN80", "F|T8", 30, 4294967295.0, "DX", 14074000},
         "WSJT|Q9ZZZ|FN42HN|14074000|Q1|A|IN80|F|T8|30|4294967295|DX|2.16",
         "07/Dec/2026 18:05:30 - Q1|A DX on 14074000 in F|T8 (SNR=30, DF=4294967295)"},
    };
    for (const auto& row : rows) {
        h.window().callsign.setText(row.ownCall);
        h.window().locator.setText(row.ownLocator);
        h.window().spots.clear();
        h.clearTrace();
        sender.sendSpot(row.station);
        EXPECT_EQ(sender.queue().back(), row.record) << row.name;
        EXPECT_EQ(h.window().spots.text(), std::string("\r\n") + row.paneLine) << row.name;
        EXPECT_TRUE(h.traceLines().front().ends_with(",CQ=" + row.station.kind + ",VER=2.16")) << row.name;
        EXPECT_TRUE(h.window().numSpots.caption().ends_with(" / Locator of 7 stations in memory")) << row.name;
    }
}

TEST_F(SpotRecords, the_spots_pane_is_emptied_only_past_twenty_thousand_characters)
{
    h.window().spots.clear();
    h.window().spots.append(std::string(20000, 'x'));
    sender.addSpotLine("A");
    EXPECT_EQ(h.window().spots.length(), 20003u);
    EXPECT_TRUE(h.window().spots.text().ends_with("x\r\nA"));
    sender.addSpotLine("B");
    EXPECT_EQ(h.window().spots.text(), "\r\nB");
    EXPECT_EQ(h.window().spots.caret(), 3u);
}

TEST_F(SpotRecords, every_spot_draws_a_fresh_delay_of_whole_seconds_from_1_to_50)
{
    std::set<int> seen;
    for (int i = 0; i < 300; ++i) {
        h.clock.advanceMs(1234);
        // With the queue empty the draw alone sets the delay; the 50 s bound may shorten it otherwise.
        sender.sendQueue();
        sender.sendSpot(HeardStation{"Q1AAA", "IN80", "FT8", -12, 1520, "CQ"});
        const int interval = timer->interval();
        ASSERT_TRUE(timer->enabled());
        ASSERT_EQ(timer->dueMs(), h.clock.nowMs() + interval);
        ASSERT_GE(interval, 1000);
        ASSERT_LE(interval, 50000);
        ASSERT_EQ(interval % 1000, 0);
        seen.insert(interval / 1000);
    }
    EXPECT_GT(seen.size(), 30u);
    EXPECT_LE(*seen.begin(), 3);
    EXPECT_GE(*seen.rbegin(), 48);
}

TEST_F(SpotRecords, a_full_queue_is_sent_at_once_and_the_timer_goes_on)
{
    const auto spot = [&](int i) { sender.sendSpot(HeardStation{"Q" + std::to_string(i), "IN80", "FT8", 0, 0, "CQ"}); };
    for (int i = 0; i < 1999; ++i) {
        spot(i);
    }
    EXPECT_TRUE(socket.sent.empty());
    h.clearTrace();
    spot(1999);
    ASSERT_EQ(socket.sent.size(), 2000u);
    EXPECT_EQ(recordCall(socket.sent.front().bytes), "Q0");
    EXPECT_EQ(recordCall(socket.sent.back().bytes), "Q1999");
    EXPECT_TRUE(sender.queue().empty());
    EXPECT_TRUE(h.traced("    Sending 2000 queued spots to Orbalis: the queue holds 2000"));
    ASSERT_TRUE(timer->enabled());
    EXPECT_EQ(timer->dueMs(), h.clock.nowMs() + timer->interval());
    EXPECT_EQ(timer->interval() % 1000, 0);

    spot(2000);
    EXPECT_EQ(sender.queue().size(), 1u);
    h.clock.advance(50);
    EXPECT_EQ(socket.sent.size(), 2001u);
}

TEST_F(SpotRecords, a_clock_set_back_or_forward_never_arms_a_negative_interval_or_one_over_50_seconds)
{
    const DateTime start = h.clock.now();
    const auto spotAt = [&](std::int64_t seconds) {
        h.clock.jumpTo(fromSeconds(toSeconds(start) + seconds));
        sender.sendSpot(HeardStation{"Q1AAA", "IN80", "FT8", 0, 0, "CQ"});
        EXPECT_TRUE(timer->enabled());
        EXPECT_EQ(timer->dueMs(), h.clock.nowMs() + timer->interval());
        EXPECT_GE(timer->interval(), 1);
        EXPECT_LE(timer->interval(), 50000);
        return timer->interval();
    };
    spotAt(0);
    EXPECT_LE(spotAt(30), 20000);
    EXPECT_LE(spotAt(30 - 3600), 20000) << "the 30 s already waited still count";
    EXPECT_EQ(spotAt(30 + 3600), 1) << "past the mark: at once";
    h.clearTrace();
    h.clock.advanceMs(1);
    EXPECT_EQ(socket.sent.size(), 4u);
    EXPECT_EQ(h.traceLines().back(), "    Sending 4" + kBoundLine);
}

} // namespace
} // namespace qf::test
