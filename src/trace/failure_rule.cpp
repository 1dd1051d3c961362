#include "trace/failure_rule.h"

#include <cstdio>

namespace qf {

std::string failureLine(std::string_view prefix, int code, std::string_view description)
{
    std::string line(prefix);
    line += std::to_string(code);
    line += " - ";
    line += description;
    return line;
}

std::string blankSignedNumber(long long n)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, n < 0 ? "%lld" : " %lld", n);
    return buf;
}

} // namespace qf
