#include "intake/instances.h"

#include <algorithm>

namespace qf {

Instance& Instances::heard(std::string_view id, const UdpSocket::Peer& from, const DateTime& start)
{
    Instance* instance = find(id);
    std::size_t index = instance != nullptr ? static_cast<std::size_t>(instance - table_.data()) : table_.size();
    if (instance == nullptr) {
        Instance fresh;
        fresh.id = std::string(id);
        fresh.lastQrgChange = start;
        if (table_.size() < kMaxInstances) {
            table_.push_back(std::move(fresh));
            order_.push_back(0);
        } else {
            index = static_cast<std::size_t>(std::min_element(order_.begin(), order_.end()) - order_.begin());
            table_[index] = std::move(fresh);
        }
    }
    order_[index] = ++count_;
    Instance& i = table_[index];
    i.from = from;
    return i;
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
