#include "service/service.h"

#include <algorithm>
#include <string>

#include "spotting/locator.h"

namespace qf {

bool fitsRecordField(std::string_view text)
{
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return c == '|' || b < 32 || (b >= 127 && b <= 159);
    });
}

bool ownStationKnown(std::string_view callsign, std::string_view locator)
{
    return callsign.size() >= 3 && isValidLocator6(std::string(locator));
}

} // namespace qf
