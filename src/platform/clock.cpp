#include "platform/clock.h"

namespace qf {
namespace {

// Howard Hinnant's days-from-civil algorithm (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) {
        --q;
    }
    return q;
}

} // namespace

std::int64_t toSeconds(const DateTime& t)
{
    return daysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) * 86400 + t.hour * 3600 +
           t.minute * 60 + t.second;
}

DateTime fromSeconds(std::int64_t seconds)
{
    std::int64_t z = floorDiv(seconds, 86400);
    const std::int64_t secs = seconds - z * 86400;
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    DateTime t;
    t.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
    t.month = static_cast<int>(m);
    t.day = static_cast<int>(d);
    t.hour = static_cast<int>(secs / 3600);
    t.minute = static_cast<int>((secs % 3600) / 60);
    t.second = static_cast<int>(secs % 60);
    return t;
}

std::int64_t wholeMinutesBetween(const DateTime& from, const DateTime& to)
{
    return floorDiv(toSeconds(to), 60) - floorDiv(toSeconds(from), 60);
}

std::int64_t secondsBetween(const DateTime& from, const DateTime& to)
{
    return toSeconds(to) - toSeconds(from);
}

Moment readMoment(Clock& clock)
{
    const int before = clock.milliseconds();
    Moment m{clock.now(), clock.milliseconds()};
    if (m.ms < before) {
        m = Moment{clock.now(), clock.milliseconds()};
    }
    return m;
}

} // namespace qf
