// What the spot and QSO records share: the service's datagram port and the rule for a field.
#pragma once

#include <cstddef>
#include <string_view>

namespace qf {

inline constexpr int kSpotServicePort = 7350;

// The longest callsign (with a prefix and a suffix), locator and mode name a record carries: longer
// is no station's, and would make each record, and what remembers it, as large as a datagram.
inline constexpr std::size_t kLongestCallsign = 13;
inline constexpr std::size_t kLongestLocator = 6;
inline constexpr std::size_t kLongestMode = 16;

// False for text holding the records' separator "|" or a control byte (below 32, DEL, or the C1
// bytes 128 to 159), which would shift the fields of a "WSJT|" or "QFLOG|" record.
bool fitsRecordField(std::string_view text);

// The operator's own callsign (3 characters or more) and six-character locator, which every record
// carries, are both there.
bool ownStationKnown(std::string_view callsign, std::string_view locator);

} // namespace qf
