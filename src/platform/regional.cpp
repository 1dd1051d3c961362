#include "platform/regional.h"

#include <cstdio>

namespace qf {

std::string dateTimeText(const Regional& regional, const DateTime& t, bool monthName)
{
    const std::string ds = regional.dateSeparator();
    const std::string ts = regional.timeSeparator();
    char day[8], month[8], year[16], hour[8], minute[8], second[8];
    std::snprintf(day, sizeof day, "%02d", t.day);
    std::snprintf(month, sizeof month, "%02d", t.month);
    std::snprintf(year, sizeof year, "%04d", t.year);
    std::snprintf(hour, sizeof hour, "%02d", t.hour);
    std::snprintf(minute, sizeof minute, "%02d", t.minute);
    std::snprintf(second, sizeof second, "%02d", t.second);
    return day + ds + (monthName ? regional.monthAbbreviation(t.month) : std::string(month)) + ds + year + " " + hour +
           ts + minute + ts + second;
}

} // namespace qf
