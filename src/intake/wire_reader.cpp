#include "intake/wire_reader.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/failure.h"

namespace qf {

std::string slice(std::string_view data, std::int64_t p, std::int64_t n)
{
    if (p < 1 || n < 0) {
        failInvalidArgument();
    }
    const auto size = static_cast<std::int64_t>(data.size());
    if (p > size) {
        return {};
    }
    const std::int64_t start = p - 1;
    const std::int64_t count = std::min(n, size - start);
    return std::string(data.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(count)));
}

std::string slice(std::string_view data, double p, double n)
{
    // Wire numbers are whole and far inside the 64-bit range; anything else is a bad argument.
    if (!(p >= 1) || !(n >= 0) || p > 9e15 || n > 9e15) {
        failInvalidArgument();
    }
    return slice(data, static_cast<std::int64_t>(p), static_cast<std::int64_t>(n));
}

double bytesToNumber(std::string_view bytes, bool isUnsigned)
{
    double total = 0;
    double weight = 1;
    for (std::size_t i = bytes.size(); i > 0; --i) {
        total += static_cast<unsigned char>(bytes[i - 1]) * weight;
        weight *= 256;
    }
    if (!isUnsigned && total > 2147483647.0) {
        return total - 4294967296.0;
    }
    return total;
}

double numberAt(std::string_view data, double p, int n, bool isUnsigned)
{
    return bytesToNumber(slice(data, p, static_cast<double>(n)), isUnsigned);
}

int byteAt(std::string_view data, double p)
{
    const std::string b = slice(data, p, 1.0);
    if (b.empty()) {
        failInvalidArgument();
    }
    return static_cast<unsigned char>(b[0]);
}

std::string printableText(std::string_view bytes)
{
    std::string out(bytes);
    for (char& c : out) {
        const auto v = static_cast<unsigned char>(c);
        if (v <= 31 || v >= 127) {
            c = ' ';
        }
    }
    return out;
}

std::string hexText(std::string_view bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    if (bytes.empty()) {
        return out;
    }
    out.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const auto v = static_cast<unsigned char>(c);
        out += digits[v >> 4];
        out += digits[v & 15];
        out += ' ';
    }
    out.pop_back();
    return out;
}

std::string formatQrg(double hz)
{
    if (hz == 0) {
        return {};
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.0f", std::fabs(std::nearbyint(hz)));
    std::string digits = buf;
    if (digits.size() < 7) {
        digits.insert(0, 7 - digits.size(), '0');
    }
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) {
            out += ',';
        }
        out += digits[i];
    }
    return hz < 0 ? "-" + out : out;
}

CalendarDate convertJulian(double j)
{
    const double z = std::floor(j + 0.5);
    const double alpha = std::floor((z - 1867216.25) / 36524.25);
    const double a = z + 1 + alpha - std::floor(alpha / 4);
    const double b = a + 1524;
    const double c = std::floor((b - 122.1) / 365.25);
    const double d = std::floor(365.25 * c);
    const double e = std::floor((b - d) / 30.6001);
    const double day = b - d - std::floor(30.6001 * e);
    double month = e - 1;
    if (month > 12) {
        month = e - 13;
    }
    const double year = month >= 3 ? c - 4716 : c - 4715;
    // The results are 16-bit values; a day number far outside any calendar overflows them.
    if (std::fabs(year) > 32767 || std::isnan(year)) {
        throw Failure(kOverflowCode, "Overflow");
    }
    return CalendarDate{static_cast<int>(year), static_cast<int>(month), static_cast<int>(day)};
}

std::string msToHhmmss(double m)
{
    double s = std::floor(m / 1000);
    const double h = std::floor(s / 3600);
    s -= 3600 * h;
    const double mi = std::floor(s / 60);
    s -= 60 * mi;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02.0f%02.0f%02.0f", h, mi, s);
    return buf;
}

std::string numberText(double value)
{
    // Wire numbers are whole; the common case needs no floating-point formatting.
    if (value > -9.0e15 && value < 9.0e15 && value == std::trunc(value)) {
        char buf[32];
        const auto end = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(value)).ptr;
        return std::string(buf, end);
    }
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.0f", value);
    std::string s = buf;
    return s == "-0" ? "0" : s;
}

std::string trimBlanks(std::string_view text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

} // namespace qf
