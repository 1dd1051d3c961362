#include "settings/leading_number.h"

#include <cmath>
#include <cctype>
#include <cstdlib>
#include <string>

namespace qf {

double leadingNumber(std::string_view text)
{
    std::string s;
    s.reserve(text.size());
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\n') {
            s += c;
        }
    }
    // The longest prefix of the form [sign] digits [. digits] [E|D [sign] digits].
    std::size_t i = 0;
    std::string number;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        number += s[i++];
    }
    bool digits = false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        number += s[i++];
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        number += s[i++];
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            number += s[i++];
            digits = true;
        }
    }
    if (!digits) {
        return 0;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        std::string exponent = "e";
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            exponent += s[j++];
        }
        bool expDigits = false;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
            exponent += s[j++];
            expDigits = true;
        }
        if (expDigits) {
            number += exponent;
        }
    }
    const double value = std::strtod(number.c_str(), nullptr);
    return value;
}

double roundHalfEven(double value)
{
    return std::nearbyint(value);
}

std::optional<int> portFromText(std::string_view text)
{
    const double port = roundHalfEven(leadingNumber(text));
    if (!(port >= 0 && port <= 65535)) {
        return std::nullopt;
    }
    return static_cast<int>(port);
}

} // namespace qf
