#include "intake/instances.h"

#include <algorithm>

namespace qf {
namespace {

// Either way: after a clock set back, a moment "in the future" is not thereby long ago.
bool within(const DateTime& then, const DateTime& now, std::int64_t seconds)
{
    const std::int64_t apart = secondsBetween(then, now);
    return apart <= seconds && apart >= -seconds;
}

} // namespace

bool Instances::holds(const Instance& i, const DateTime& now)
{
    return !i.closed && within(i.lastHeard, now, kHoldSeconds);
}

bool Instances::news(std::optional<DateTime>& said, const DateTime& now)
{
    if (said && within(*said, now, 59)) {
        return false;
    }
    said = now;
    return true;
}

Instances::Admission Instances::admit(std::string_view id, const UdpSocket::Peer& from, const DateTime& now,
                                      const DateTime& start)
{
    Instance* instance = find(id);
    std::size_t index = instance != nullptr ? static_cast<std::size_t>(instance - table_.data()) : table_.size();
    if (instance != nullptr && !(instance->from == from) && holds(*instance, now)) {
        return Admission{nullptr, instance, news(instance->refusalSaid, now)};
    }
    if (instance == nullptr) {
        if (table_.size() >= kMaxInstances) {
            index = static_cast<std::size_t>(std::min_element(order_.begin(), order_.end()) - order_.begin());
            if (holds(table_[index], now)) {
                return Admission{nullptr, nullptr, news(fullSaid_, now)};
            }
        }
        Instance fresh;
        fresh.id = std::string(id);
        fresh.lastQrgChange = start;
        if (index == table_.size()) {
            table_.push_back(std::move(fresh));
            order_.push_back(0);
        } else {
            table_[index] = std::move(fresh);
        }
    }
    order_[index] = ++count_;
    Instance& i = table_[index];
    i.from = from;
    i.lastHeard = now;
    i.closed = false;
    return Admission{&i, nullptr, false};
}

Instance* Instances::find(std::string_view id)
{
    const auto it = std::find_if(table_.begin(), table_.end(), [&](const Instance& i) { return i.id == id; });
    return it == table_.end() ? nullptr : &*it;
}

const Instance* Instances::lastHeard() const
{
    if (table_.empty()) {
        return nullptr;
    }
    return &table_[static_cast<std::size_t>(std::max_element(order_.begin(), order_.end()) - order_.begin())];
}

} // namespace qf
