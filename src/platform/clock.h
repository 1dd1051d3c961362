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

// A date-time and its millisecond field from one moment. The two are separate readings, so a
// second that turns between them would give the old second with the new milliseconds, up to a
// second early; when the field falls back across the readings they are taken again.
struct Moment {
    DateTime time;
    int ms = 0;
};
Moment readMoment(Clock& clock);

} // namespace qf
