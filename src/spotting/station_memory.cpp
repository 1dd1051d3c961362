#include "spotting/station_memory.h"

namespace qf {

StationMemory::StationMemory(WindowModel& window, Clock& clock, Regional& regional, TraceWriter& trace,
                             SpotSender& spots, std::size_t capacity)
    : window_(window), clock_(clock), regional_(regional), trace_(trace), spots_(spots), capacity_(capacity)
{
}

int StationMemory::findStation(const std::string& call) const
{
    const auto it = index_.find(call);
    return it == index_.end() ? -1 : static_cast<int>(it->second);
}

void StationMemory::setLastSpot(std::size_t index, std::int64_t when)
{
    Entry& e = entries_[index];
    byLastSpot_.erase({e.lastSpot, index});
    e.lastSpot = when;
    byLastSpot_.insert({when, index});
}

std::size_t StationMemory::storeNew(const HeardStation& s, std::int64_t now)
{
    if (entries_.size() < capacity_) {
        const std::size_t n = entries_.size();
        entries_.push_back(Entry{s.call, now, s.locator});
        index_.emplace(s.call, n);
        byLastSpot_.insert({now, n});
        return n;
    }
    // Full: the station spotted longest ago makes room, so new stations are still spotted.
    const std::size_t n = byLastSpot_.begin()->second;
    Entry& old = entries_[n];
    trace_.write("  >>> Station memory full: Callsign " + old.call + " at Ind=" + std::to_string(n) + " replaced by " +
                 s.call + " >>>");
    byLastSpot_.erase(byLastSpot_.begin());
    index_.erase(old.call);
    old = Entry{s.call, now, s.locator};
    index_.emplace(s.call, n);
    byLastSpot_.insert({now, n});
    return n;
}

void StationMemory::reportStation(const HeardStation& s)
{
    const int i = findStation(s.call);
    const std::int64_t now = toSeconds(clock_.now());
    if (i < 0) {
        const std::size_t n = storeNew(s, now);
        spots_.sendSpot(s);
        if (trace_.enabled()) {
            trace_.write("  >>> New Callsign " + s.call + " to array. Ind=" + std::to_string(n) + ", Loc=" + s.locator +
                         " >>>");
        }
        return;
    }
    const auto index = static_cast<std::size_t>(i);
    const Entry& e = entries_[index];
    const std::int64_t t = wholeMinutesBetween(fromSeconds(e.lastSpot), fromSeconds(now));
    if (trace_.enabled()) {
        trace_.write("  >>> Time lapse=" + std::to_string(t) + " for Callsign=" + e.call + " since " +
                     regional_.generalDateTime(fromSeconds(e.lastSpot)) + ". Ind=" + std::to_string(i) + " >>>");
    }
    if (t > 15) {
        spots_.sendSpot(s);
        setLastSpot(index, toSeconds(clock_.now()));
    } else {
        window_.dx.append(" (T<15)");
        window_.dx.moveCaretToEnd();
    }
}

} // namespace qf
