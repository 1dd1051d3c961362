// The value of a text's leading decimal number, as the settings and port fields are read:
// blanks, tabs and line feeds anywhere are ignored, no number gives 0.
#pragma once

#include <optional>
#include <string_view>

namespace qf {

double leadingNumber(std::string_view text);
// The leading number rounded half to even, for whole-number uses.
double roundHalfEven(double value);
// A port read from a field: nullopt when the number lies outside 0..65535.
std::optional<int> portFromText(std::string_view text);

} // namespace qf
