#include "platform/qt/qt_clock.h"

#include <chrono>
#include <ctime>

namespace qf {
namespace {

// QDateTime re-reads the time zone (a stat of /etc/localtime) at every call; once a second is enough
// to follow a change of zone.
void refreshZone()
{
    static std::chrono::steady_clock::time_point next{};
    const auto now = std::chrono::steady_clock::now();
    if (now >= next) {
        ::tzset();
        next = now + std::chrono::seconds(1);
    }
}

} // namespace

DateTime QtClock::now()
{
    refreshZone();
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&t, &local);
    return DateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

int QtClock::milliseconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int>(ts.tv_nsec / 1000000);
}

} // namespace qf
