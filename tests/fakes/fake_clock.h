// A clock that moves only when told, and the timers it drives: advancing fires every timer
// that comes due, one tick at a time, in time order.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/clock.h"
#include "platform/timer.h"

namespace qf::test {

class FakeClock;

class FakeTimer final : public Timer {
  public:
    explicit FakeTimer(FakeClock& clock) : clock_(clock) {}
    void setInterval(int ms) override;
    int interval() const override { return interval_; }
    void setEnabled(bool enabled) override;
    bool enabled() const override { return enabled_; }
    std::int64_t dueMs() const { return dueMs_; }

  private:
    friend class FakeClock;
    FakeClock& clock_;
    int interval_ = 0;
    bool enabled_ = false;
    std::int64_t dueMs_ = 0;
};

class FakeClock final : public Clock {
  public:
    explicit FakeClock(DateTime start = DateTime{2026, 12, 7, 10, 0, 0}) : nowMs_(toSeconds(start) * 1000) {}

    DateTime now() override { return fromSeconds(floorDiv(nowMs_, 1000)); }
    int milliseconds() override { return static_cast<int>(nowMs_ - floorDiv(nowMs_, 1000) * 1000); }

    std::int64_t nowMs() const { return nowMs_; }
    void set(const DateTime& t, int ms = 0) { nowMs_ = toSeconds(t) * 1000 + ms; }
    // Moves the clock without firing timers (the clock set back or forward by the operator).
    void jumpTo(const DateTime& t) { set(t); }

    // Moves time forward, firing due timers in order.
    void advanceMs(std::int64_t ms)
    {
        const std::int64_t end = nowMs_ + ms;
        for (;;) {
            FakeTimer* next = nullptr;
            for (FakeTimer* t : timers_) {
                if (t->enabled_ && t->interval_ > 0 && t->dueMs_ <= end &&
                    (next == nullptr || t->dueMs_ < next->dueMs_)) {
                    next = t;
                }
            }
            if (next == nullptr) {
                break;
            }
            nowMs_ = std::max(nowMs_, next->dueMs_);
            next->dueMs_ = nowMs_ + next->interval_;
            if (next->onTick) {
                next->onTick();
            }
        }
        nowMs_ = std::max(nowMs_, end);
    }
    void advance(int seconds) { advanceMs(std::int64_t{seconds} * 1000); }

    std::unique_ptr<FakeTimer> makeTimer()
    {
        auto t = std::make_unique<FakeTimer>(*this);
        timers_.push_back(t.get());
        return t;
    }
    void forget(FakeTimer* t) { timers_.erase(std::remove(timers_.begin(), timers_.end(), t), timers_.end()); }

  private:
    friend class FakeTimer;
    static std::int64_t floorDiv(std::int64_t a, std::int64_t b)
    {
        std::int64_t q = a / b;
        return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
    }
    std::int64_t nowMs_;
    std::vector<FakeTimer*> timers_;
};

inline void FakeTimer::setInterval(int ms)
{
    interval_ = ms;
    if (enabled_) {
        dueMs_ = clock_.nowMs_ + interval_;
    }
}

inline void FakeTimer::setEnabled(bool enabled)
{
    enabled_ = enabled;
    if (enabled_) {
        dueMs_ = clock_.nowMs_ + interval_;
    }
}

} // namespace qf::test
