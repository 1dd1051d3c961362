#include "trace/failure_rule.h"

namespace qf {

std::string failureLine(std::string_view prefix, int code, std::string_view description)
{
    std::string line(prefix);
    line += std::to_string(code);
    line += " - ";
    line += description;
    return line;
}

} // namespace qf
