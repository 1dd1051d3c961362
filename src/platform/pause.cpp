#include "platform/pause.h"

#include <algorithm>

namespace qf {

Pause::Pause(std::unique_ptr<Timer> timer) : timer_(std::move(timer))
{
    timer_->onTick = [this] { end(); };
}

void Pause::start(int ms, std::function<void()> then)
{
    if (active_) {
        return;
    }
    active_ = true;
    then_ = std::move(then);
    timer_->setInterval(ms);
    timer_->setEnabled(true);
    if (onChange) {
        onChange(true);
    }
}

void Pause::admit(const void* key, std::function<void()> event)
{
    if (!active_) {
        event();
        return;
    }
    if (key != nullptr &&
        std::any_of(waiting_.begin(), waiting_.end(), [key](const auto& waiting) { return waiting.first == key; })) {
        return;
    }
    waiting_.emplace_back(key, std::move(event));
}

void Pause::end()
{
    timer_->setEnabled(false);
    active_ = false;
    if (onChange) {
        onChange(false);
    }
    if (auto then = std::move(then_)) {
        then_ = nullptr;
        then();
    }
    // Admitted again, in order: should one of them start a new pause, the rest wait for that one.
    auto waiting = std::move(waiting_);
    waiting_.clear();
    for (auto& [key, event] : waiting) {
        admit(key, std::move(event));
    }
}

} // namespace qf
