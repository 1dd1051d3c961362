#include "spotting/locator.h"

#include <string>

namespace qf {
namespace {

bool within(char c, char low, char high)
{
    return c >= low && c <= high;
}

bool isSquare(std::string_view t)
{
    return within(t[0], 'A', 'R') && within(t[1], 'A', 'R') && within(t[2], '0', '9') && within(t[3], '0', '9');
}

} // namespace

bool isValidLocator6(std::string_view t)
{
    return t.size() == 6 && isSquare(t) && within(t[4], 'A', 'X') && within(t[5], 'A', 'X');
}

bool isValidLocator(std::string_view text)
{
    std::string u(text);
    for (char& c : u) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    if (u.size() == 6) {
        return isValidLocator6(u);
    }
    return u.size() == 4 && isSquare(u);
}

} // namespace qf
