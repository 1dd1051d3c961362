#include "settings/dotted_address.h"

namespace qf {

std::optional<DottedAddress> dottedAddressFrom(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    int octets[4] = {};
    std::size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (at >= text.size() || text[at] != '.') {
                return std::nullopt;
            }
            ++at;
        }
        const std::size_t start = at;
        while (at < text.size() && at - start < 4 && text[at] >= '0' && text[at] <= '9') {
            octets[i] = octets[i] * 10 + (text[at++] - '0');
        }
        if (at == start || at - start > 3 || octets[i] > 255) {
            return std::nullopt;
        }
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    return DottedAddress{std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." + std::to_string(octets[2]) +
                             "." + std::to_string(octets[3]),
                         octets[0]};
}

} // namespace qf
