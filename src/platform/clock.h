// Local wall-clock time to the second and the millisecond field.
#pragma once

#include <cstdint>
#include <string>

namespace qf {

struct DateTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;

    friend bool operator==(const DateTime&, const DateTime&) = default;
};

// Seconds of a naive (zone-less) date-time since 1970-01-01 00:00:00, for differences.
std::int64_t toSeconds(const DateTime& t);
DateTime fromSeconds(std::int64_t seconds);
// Differences counted on whole clock minutes: both times cut to the minute, then subtracted.
std::int64_t wholeMinutesBetween(const DateTime& from, const DateTime& to);
std::int64_t secondsBetween(const DateTime& from, const DateTime& to);

class Clock {
  public:
    virtual ~Clock() = default;
    virtual DateTime now() = 0;
    // The millisecond field (0..999) of a separate reading of the system time.
    virtual int milliseconds() = 0;
};

} // namespace qf
