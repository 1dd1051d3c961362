#include "support/program_harness.h"

#include <algorithm>

namespace qf::test {

std::vector<std::string> ProgramHarness::traceLines() const
{
    std::vector<std::string> lines;
    const std::string& t = trace();
    std::size_t start = 0;
    while (start < t.size()) {
        const auto end = t.find("\r\n", start);
        const std::string line = t.substr(start, end == std::string::npos ? std::string::npos : end - start);
        // "dd/mm/yyyy hh:mm:ss.mmm " is 23 or 24 characters; the message follows the first blank after the time.
        const auto blank = line.find(' ', 11);
        lines.push_back(blank == std::string::npos ? line : line.substr(blank + 1));
        if (end == std::string::npos) {
            break;
        }
        start = end + 2;
    }
    return lines;
}

bool ProgramHarness::traced(const std::string& message) const
{
    const auto lines = traceLines();
    return std::find(lines.begin(), lines.end(), message) != lines.end();
}

} // namespace qf::test
