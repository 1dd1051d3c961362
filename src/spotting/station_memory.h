// Remembers every reported station with the locator of its first report and the time of its
// last spot, and decides whether a report becomes a spot (new, or more than 15 minutes since).
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/regional.h"
#include "spotting/spot_sender.h"
#include "trace/trace_writer.h"
#include "window/window_model.h"

namespace qf {

class StationMemory {
  public:
    // The index is a 16-bit number: at most this many stations are remembered.
    static constexpr std::size_t kCapacity = 32768;

    StationMemory(WindowModel& window, Clock& clock, Regional& regional, TraceWriter& trace, SpotSender& spots,
                  std::size_t capacity = kCapacity);

    // The index of the callsign (exact, case-sensitive), or -1.
    int findStation(const std::string& call) const;
    const std::string& locatorAt(int index) const { return entries_[static_cast<std::size_t>(index)].locator; }
    const std::string& callsignAt(int index) const { return entries_[static_cast<std::size_t>(index)].call; }
    DateTime lastSpotAt(int index) const { return fromSeconds(entries_[static_cast<std::size_t>(index)].lastSpot); }
    std::size_t size() const { return entries_.size(); }

    void reportStation(const HeardStation& s);

  private:
    struct Entry {
        std::string call;
        std::int64_t lastSpot;
        std::string locator;
    };
    void setLastSpot(std::size_t index, std::int64_t when);
    std::size_t storeNew(const HeardStation& s, std::int64_t now);

    WindowModel& window_;
    Clock& clock_;
    Regional& regional_;
    TraceWriter& trace_;
    SpotSender& spots_;
    std::size_t capacity_;
    std::vector<Entry> entries_;
    std::unordered_map<std::string, std::size_t> index_;
    // (last spot, index): the oldest entry is the first, for reuse when the table is full.
    std::set<std::pair<std::int64_t, std::size_t>> byLastSpot_;
};

} // namespace qf
