#include "status/json.h"

#include <cmath>
#include <cstdio>

namespace qf {

std::string jsonString(std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() + 2);
    out += '"';
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (b) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            // '<', '>' and '&' too: the text cannot end a script element or start markup.
            if (b < 0x20 || b >= 0x7F || b == '<' || b == '>' || b == '&') {
                out += "\\u00";
                out += kHex[b >> 4];
                out += kHex[b & 0x0F];
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

void JsonWriter::separate()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!empty_.empty()) {
        if (!empty_.back()) {
            out_ += ',';
        }
        empty_.back() = false;
    }
}

JsonWriter& JsonWriter::open(char bracket)
{
    separate();
    out_ += bracket;
    empty_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::close(char bracket)
{
    out_ += bracket;
    empty_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name)
{
    separate();
    out_ += jsonString(name);
    out_ += ':';
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view bytes)
{
    separate();
    out_ += jsonString(bytes);
    return *this;
}

JsonWriter& JsonWriter::value(double number)
{
    if (!std::isfinite(number)) {
        return null();
    }
    separate();
    char buf[32];
    if (number == std::trunc(number) && std::fabs(number) < 1e15) {
        std::snprintf(buf, sizeof buf, "%.0f", number);
    } else {
        std::snprintf(buf, sizeof buf, "%.17g", number);
    }
    out_ += buf;
    return *this;
}

JsonWriter& JsonWriter::value(std::int64_t number)
{
    separate();
    out_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(std::uint64_t number)
{
    separate();
    out_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(bool flag)
{
    separate();
    out_ += flag ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::null()
{
    separate();
    out_ += "null";
    return *this;
}

} // namespace qf
