#include <gtest/gtest.h>

#include "platform/clock.h"

namespace qf {
namespace {

// A clock that moves on by a step after every reading, as a real one does between two calls.
class SteppingClock final : public Clock {
  public:
    SteppingClock(std::int64_t startMs, int stepMs) : ms_(startMs), step_(stepMs) {}
    DateTime now() override { return fromSeconds(take() / 1000); }
    int milliseconds() override { return static_cast<int>(take() % 1000); }

  private:
    std::int64_t take()
    {
        const std::int64_t reading = ms_;
        ms_ += step_;
        return reading;
    }
    std::int64_t ms_;
    int step_;
};

TEST(Clock, a_moment_read_while_the_second_turns_is_never_early)
{
    const std::int64_t second = toSeconds(DateTime{2026, 12, 9, 7, 53, 55}) * 1000;
    for (int startMs = 960; startMs <= 1010; ++startMs) {
        for (int stepMs : {1, 7, 20}) {
            SteppingClock clock(second + startMs, stepMs);
            const Moment m = readMoment(clock);
            const std::int64_t read = toSeconds(m.time) * 1000 + m.ms;
            EXPECT_GE(read, second + startMs) << startMs << " step " << stepMs;
            EXPECT_LE(read, second + startMs + 6 * stepMs) << startMs << " step " << stepMs;
        }
    }
}

} // namespace
} // namespace qf
