// Maidenhead locator predicates: the strict six-character capital form for the operator's own
// locator, and the lenient four- or six-character form in any case for decoded messages.
#pragma once

#include <string_view>

namespace qf {

bool isValidLocator6(std::string_view text);
bool isValidLocator(std::string_view text);

} // namespace qf
