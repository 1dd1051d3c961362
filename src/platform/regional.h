// The user's regional settings: separators, month names and the general date-time form.
#pragma once

#include <string>

#include "platform/clock.h"

namespace qf {

class Regional {
  public:
    virtual ~Regional() = default;
    virtual std::string dateSeparator() const = 0;
    virtual std::string timeSeparator() const = 0;
    // Abbreviated month name, month 1..12, in the single-byte code page.
    virtual std::string monthAbbreviation(int month) const = 0;
    // The short date, a blank, the long time.
    virtual std::string generalDateTime(const DateTime& t) const = 0;
};

// Day, month (digits or the abbreviated name), four-digit year, then the 24-hour time, with the
// user's separators: 07/12/2026 18:05:30 or 07/Dec/2026 18:05:30.
std::string dateTimeText(const Regional& regional, const DateTime& t, bool monthName);

} // namespace qf
