// An IPv4 address as a setting holds it: four numbers 0 to 255 in dotted decimal, nothing else.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qf {

struct DottedAddress {
    std::string text; // written back without leading zeros: the socket layer would read "010" as octal
    int first = 0;    // the first number, which tells a multicast group
};

// The address in `text` (blanks around it allowed), or nothing when it is not one.
std::optional<DottedAddress> dottedAddressFrom(std::string_view text);

} // namespace qf
