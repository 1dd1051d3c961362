// A strict reader of JSON text for the fuzz targets: whether a text is one whole JSON value, and
// what a JSON string decodes to. No library: the page's script trusts exactly this grammar.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace qf::fuzz {

class JsonCheck {
  public:
    explicit JsonCheck(std::string_view text) : s_(text) {}

    // The whole text is one value, with nothing but blanks around it.
    bool wholeValue()
    {
        blanks();
        if (!value(0)) {
            return false;
        }
        blanks();
        return at_ == s_.size();
    }
    // The whole text is one string; its code points.
    std::optional<std::vector<std::uint32_t>> wholeString()
    {
        std::vector<std::uint32_t> points;
        if (!string(&points) || at_ != s_.size()) {
            return std::nullopt;
        }
        return points;
    }

  private:
    static constexpr int kMaxDepth = 64;

    bool eat(char c)
    {
        if (at_ < s_.size() && s_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    void blanks()
    {
        while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r')) {
            ++at_;
        }
    }
    bool literal(std::string_view word)
    {
        if (s_.substr(at_, word.size()) != word) {
            return false;
        }
        at_ += word.size();
        return true;
    }
    bool digits()
    {
        const std::size_t start = at_;
        while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') {
            ++at_;
        }
        return at_ > start;
    }
    bool number()
    {
        eat('-');
        if (eat('0')) {
        } else if (!digits()) {
            return false;
        }
        if (eat('.') && !digits()) {
            return false;
        }
        if (eat('e') || eat('E')) {
            if (!eat('+')) {
                eat('-');
            }
            return digits();
        }
        return true;
    }
    int hex()
    {
        if (at_ >= s_.size()) {
            return -1;
        }
        const char c = s_[at_++];
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        return -1;
    }
    bool string(std::vector<std::uint32_t>* points)
    {
        if (!eat('"')) {
            return false;
        }
        while (at_ < s_.size()) {
            const auto c = static_cast<unsigned char>(s_[at_++]);
            if (c == '"') {
                return true;
            }
            if (c < 0x20) {
                return false;
            }
            std::uint32_t point = c;
            if (c == '\\') {
                if (at_ >= s_.size()) {
                    return false;
                }
                switch (s_[at_++]) {
                case '"':
                    point = '"';
                    break;
                case '\\':
                    point = '\\';
                    break;
                case '/':
                    point = '/';
                    break;
                case 'b':
                    point = '\b';
                    break;
                case 'f':
                    point = '\f';
                    break;
                case 'n':
                    point = '\n';
                    break;
                case 'r':
                    point = '\r';
                    break;
                case 't':
                    point = '\t';
                    break;
                case 'u': {
                    point = 0;
                    for (int i = 0; i < 4; ++i) {
                        const int h = hex();
                        if (h < 0) {
                            return false;
                        }
                        point = point * 16 + static_cast<std::uint32_t>(h);
                    }
                    break;
                }
                default:
                    return false;
                }
            }
            if (points != nullptr) {
                points->push_back(point);
            }
        }
        return false;
    }
    bool value(int depth)
    {
        if (depth > kMaxDepth || at_ >= s_.size()) {
            return false;
        }
        switch (s_[at_]) {
        case '"':
            return string(nullptr);
        case '{':
        case '[': {
            const bool object = s_[at_++] == '{';
            const char end = object ? '}' : ']';
            blanks();
            if (eat(end)) {
                return true;
            }
            do {
                blanks();
                if (object) {
                    if (!string(nullptr)) {
                        return false;
                    }
                    blanks();
                    if (!eat(':')) {
                        return false;
                    }
                    blanks();
                }
                if (!value(depth + 1)) {
                    return false;
                }
                blanks();
            } while (eat(','));
            return eat(end);
        }
        case 't':
            return literal("true");
        case 'f':
            return literal("false");
        case 'n':
            return literal("null");
        default:
            return number();
        }
    }

    std::string_view s_;
    std::size_t at_ = 0;
};

} // namespace qf::fuzz
