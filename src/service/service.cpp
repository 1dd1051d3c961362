#include "service/service.h"

#include <algorithm>

namespace qf {

bool fitsRecordField(std::string_view text)
{
    return std::none_of(text.begin(), text.end(),
                        [](char c) { return c == '|' || static_cast<unsigned char>(c) < 32; });
}

} // namespace qf
