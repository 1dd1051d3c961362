// What the status page draws and lists of the recent past, bounded by construction: decodes and
// spots per clock minute for the last hour, and the latest spot records.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace qf {

struct MinuteCount {
    DateTime minute; // its first second
    std::uint64_t decodes = 0;
    std::uint64_t spots = 0;
};

class MinuteHistory {
  public:
    static constexpr std::size_t kMinutes = 60;

    // Takes the program's running totals: what they grew by since the last call counts for the
    // minute of `now`. A total that went down (a new start) counts from zero.
    void sample(const DateTime& now, std::uint64_t decodesTotal, std::uint64_t spotsTotal);
    // The hour ending with the minute of `now`, oldest first; a minute without a sample counts 0,
    // so a clock set back or forward never shows a minute twice or out of order.
    std::vector<MinuteCount> lastHour(const DateTime& now) const;

  private:
    struct Slot {
        std::int64_t minute = -1;
        std::uint64_t decodes = 0;
        std::uint64_t spots = 0;
    };
    std::array<Slot, kMinutes> slots_{};
    std::uint64_t decodesTotal_ = 0;
    std::uint64_t spotsTotal_ = 0;
};

struct SpotSeen {
    DateTime at;
    std::string call;
    std::string locator;
    double qrg = 0;
    std::string mode;
    double snr = 0;
};

class LatestSpots {
  public:
    static constexpr std::size_t kKept = 50;
    void add(SpotSeen spot);
    // Newest first.
    std::vector<SpotSeen> newestFirst() const { return {spots_.rbegin(), spots_.rend()}; }

  private:
    std::deque<SpotSeen> spots_;
};

} // namespace qf
