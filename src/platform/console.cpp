#include "platform/console.h"

#include <algorithm>
#include <string>

namespace qf {

void writeConsoleLine(std::FILE* out, const std::string& text)
{
    std::string line = "quillfeed: " + text;
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), out);
    std::fflush(out);
}

void ConsoleDialogs::showMessage(const std::string& text)
{
    writeConsoleLine(out_, text);
}

bool ConsoleDialogs::askYesNo(const std::string& text)
{
    showMessage(text);
    return false;
}

} // namespace qf
