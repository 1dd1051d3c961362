#include "platform/console.h"

#include <string>

#include "trace/escaped.h"

namespace qf {

void writeConsoleLine(std::FILE* out, const std::string& text)
{
    std::string line = "quillfeed: " + escapeControlBytes(text) + '\n';
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
