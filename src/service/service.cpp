#include "service/service.h"

#include <algorithm>

namespace qf {

bool fitsRecordField(std::string_view text)
{
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return c == '|' || b < 32 || (b >= 127 && b <= 159);
    });
}

} // namespace qf
