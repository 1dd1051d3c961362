#include <gtest/gtest.h>

#include "status/status_history.h"

namespace qf {
namespace {

DateTime at(int hour, int minute, int second = 0)
{
    return DateTime{2026, 12, 7, hour, minute, second};
}

// The hour ending with `now` as "decodes/spots" of the minutes that had any, oldest first.
std::vector<std::string> busyMinutes(const MinuteHistory& h, const DateTime& now)
{
    std::vector<std::string> out;
    const auto hour = h.lastHour(now);
    EXPECT_EQ(hour.size(), MinuteHistory::kMinutes);
    EXPECT_EQ(hour.back().minute, (DateTime{now.year, now.month, now.day, now.hour, now.minute, 0}));
    for (const MinuteCount& m : hour) {
        if (m.decodes > 0 || m.spots > 0) {
            out.push_back(std::to_string(m.minute.hour) + ":" + std::to_string(m.minute.minute) + " " +
                          std::to_string(m.decodes) + "/" + std::to_string(m.spots));
        }
    }
    return out;
}

TEST(MinuteHistory, counts_what_the_totals_grew_by_in_the_minute_of_each_sample_and_keeps_one_hour)
{
    const struct {
        const char* name;
        std::vector<std::tuple<DateTime, std::uint64_t, std::uint64_t>> samples;
        DateTime now;
        std::vector<std::string> expected;
    } cases[] = {
        {"two samples in one minute add up", {{at(10, 0, 1), 3, 1}, {at(10, 0, 59), 5, 1}}, at(10, 0), {"10:0 5/1"}},
        {"a quiet minute counts nothing", {{at(10, 0), 2, 0}, {at(10, 2), 4, 1}}, at(10, 3), {"10:0 2/0", "10:2 2/1"}},
        {"past an hour a minute is gone", {{at(9, 0), 7, 0}, {at(9, 1), 8, 0}}, at(10, 0), {"9:1 1/0"}},
        {"a new start counts from zero", {{at(10, 0), 9, 4}, {at(10, 1), 2, 1}}, at(10, 1), {"10:0 9/4", "10:1 2/1"}},
        {"a clock set back shows no minute twice", {{at(11, 0), 5, 0}, {at(10, 30), 6, 0}}, at(10, 30), {"10:30 1/0"}},
    };
    for (const auto& c : cases) {
        MinuteHistory h;
        for (const auto& [t, decodes, spots] : c.samples) {
            h.sample(t, decodes, spots);
        }
        EXPECT_EQ(busyMinutes(h, c.now), c.expected) << c.name;
    }
}

TEST(LatestSpots, keeps_the_last_fifty_newest_first)
{
    LatestSpots spots;
    for (int i = 0; i < 51; ++i) {
        SpotSeen spot;
        spot.call = "Q" + std::to_string(i);
        spots.add(spot);
    }
    const auto kept = spots.newestFirst();
    ASSERT_EQ(kept.size(), LatestSpots::kKept);
    EXPECT_EQ(kept.front().call, "Q50");
    EXPECT_EQ(kept.back().call, "Q1");
}

} // namespace
} // namespace qf
