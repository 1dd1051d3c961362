#include "status/status_history.h"

namespace qf {
namespace {

std::int64_t minuteOf(const DateTime& t)
{
    const std::int64_t s = toSeconds(t);
    return s >= 0 ? s / 60 : (s - 59) / 60;
}

std::size_t slotOf(std::int64_t minute)
{
    constexpr auto n = static_cast<std::int64_t>(MinuteHistory::kMinutes);
    return static_cast<std::size_t>((minute % n + n) % n);
}

std::uint64_t growth(std::uint64_t now, std::uint64_t before)
{
    return now >= before ? now - before : now;
}

} // namespace

void MinuteHistory::sample(const DateTime& now, std::uint64_t decodesTotal, std::uint64_t spotsTotal)
{
    const std::int64_t minute = minuteOf(now);
    Slot& slot = slots_[slotOf(minute)];
    if (slot.minute != minute) {
        slot = Slot{minute, 0, 0};
    }
    slot.decodes += growth(decodesTotal, decodesTotal_);
    slot.spots += growth(spotsTotal, spotsTotal_);
    decodesTotal_ = decodesTotal;
    spotsTotal_ = spotsTotal;
}

std::vector<MinuteCount> MinuteHistory::lastHour(const DateTime& now) const
{
    std::vector<MinuteCount> hour;
    hour.reserve(kMinutes);
    const std::int64_t last = minuteOf(now);
    for (std::int64_t minute = last - static_cast<std::int64_t>(kMinutes) + 1; minute <= last; ++minute) {
        const Slot& slot = slots_[slotOf(minute)];
        MinuteCount count{fromSeconds(minute * 60)};
        if (slot.minute == minute) {
            count.decodes = slot.decodes;
            count.spots = slot.spots;
        }
        hour.push_back(count);
    }
    return hour;
}

void LatestSpots::add(SpotSeen spot)
{
    if (spots_.size() == kKept) {
        spots_.pop_front();
    }
    spots_.push_back(std::move(spot));
}

} // namespace qf
