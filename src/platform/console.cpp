#include "platform/console.h"

#include <algorithm>
#include <string>

namespace qf {

void ConsoleDialogs::showMessage(const std::string& text)
{
    std::string line = "quillfeed: " + text;
    // One message, one line: a journal or a log reader splits at line ends.
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fflush(out_);
}

bool ConsoleDialogs::askYesNo(const std::string& text)
{
    showMessage(text);
    return false;
}

} // namespace qf
