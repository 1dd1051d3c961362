#include "settings/profile_file.h"

#include <vector>

namespace qf {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

// One line of the file: [begin, end) is its text, next is where the following line starts.
struct Line {
    std::size_t begin;
    std::size_t end;
    std::size_t next;
    bool hasBreak() const { return next > end; }
};

std::vector<Line> splitLines(std::string_view content)
{
    std::vector<Line> lines;
    std::size_t pos = 0;
    // An editor's UTF-8 mark must not hide the first section header; it stays in the file.
    if (content.substr(0, kUtf8Mark.size()) == kUtf8Mark) {
        pos = kUtf8Mark.size();
    }
    while (pos < content.size()) {
        const std::size_t lf = content.find('\n', pos);
        if (lf == std::string_view::npos) {
            lines.push_back({pos, content.size(), content.size()});
            break;
        }
        std::size_t end = lf;
        if (end > pos && content[end - 1] == '\r') {
            --end;
        }
        lines.push_back({pos, end, lf + 1});
        pos = lf + 1;
    }
    return lines;
}

enum class Kind { Other, Section, Entry };

struct Parsed {
    Kind kind = Kind::Other;
    std::string_view name;
    std::string_view value;
};

Parsed parseLine(std::string_view text)
{
    const std::string_view t = trimmed(text);
    if (t.empty() || t.front() == ';') {
        return {};
    }
    if (t.front() == '[') {
        const std::size_t close = t.find(']');
        const std::string_view inside = close == std::string_view::npos ? t.substr(1) : t.substr(1, close - 1);
        return {Kind::Section, trimmed(inside), {}};
    }
    const std::size_t eq = t.find('=');
    if (eq == std::string_view::npos) {
        return {};
    }
    const std::string_view name = trimmed(t.substr(0, eq));
    if (name.empty()) {
        return {};
    }
    return {Kind::Entry, name, trimmed(t.substr(eq + 1))};
}

struct Lookup {
    std::vector<Line> lines;
    std::optional<std::size_t> entry;       // the key's line, first match in file order
    std::string_view entryName;             // its name as spelt in the file
    std::optional<std::size_t> sectionLast; // last non-blank line of the first matching section
};

Lookup find(std::string_view content, std::string_view section, std::string_view key)
{
    Lookup found;
    found.lines = splitLines(content);
    bool inSection = false;
    bool firstSectionDone = false;
    for (std::size_t i = 0; i < found.lines.size(); ++i) {
        const Line& line = found.lines[i];
        const std::string_view text = content.substr(line.begin, line.end - line.begin);
        const Parsed parsed = parseLine(text);
        if (parsed.kind == Kind::Section) {
            if (found.sectionLast) {
                firstSectionDone = true;
            }
            inSection = sameName(parsed.name, section);
            if (inSection && !firstSectionDone) {
                found.sectionLast = i;
            }
            continue;
        }
        if (!inSection) {
            continue;
        }
        if (!firstSectionDone && !trimmed(text).empty()) {
            found.sectionLast = i;
        }
        if (parsed.kind == Kind::Entry && !found.entry && sameName(parsed.name, key)) {
            found.entry = i;
            found.entryName = parsed.name;
        }
    }
    return found;
}

std::string cut(std::string_view value, std::size_t limit)
{
    return std::string(value.substr(0, limit));
}

bool storableSection(std::string_view name)
{
    return !name.empty() && trimmed(name) == name && name.find_first_of("]\r\n") == std::string_view::npos;
}

bool storableKey(std::string_view name)
{
    return !name.empty() && trimmed(name) == name && name.front() != ';' && name.front() != '[' &&
           name.find_first_of("=\r\n") == std::string_view::npos;
}

} // namespace

std::string profileValue(std::string_view content, std::string_view section, std::string_view key,
                         std::string_view fallback, std::size_t limit)
{
    const Lookup found = find(content, section, key);
    if (!found.entry) {
        return cut(trimmed(fallback), limit);
    }
    const Line& line = found.lines[*found.entry];
    return cut(parseLine(content.substr(line.begin, line.end - line.begin)).value, limit);
}

std::optional<std::string> withProfileString(std::string_view content, std::string_view section, std::string_view key,
                                             std::string_view value)
{
    if (!storableSection(section) || !storableKey(key)) {
        return std::nullopt;
    }
    // A line break in a value would turn its rest into keys of their own.
    value = value.substr(0, value.find_first_of("\r\n"));

    const Lookup found = find(content, section, key);
    std::string result;
    result.reserve(content.size() + key.size() + value.size() + section.size() + 8);
    if (found.entry) {
        // The key keeps its spelling and its place; only its line changes.
        const Line& line = found.lines[*found.entry];
        result.append(content.substr(0, line.begin));
        result.append(found.entryName);
        result += '=';
        result.append(value);
        result.append(kLineEnd);
        result.append(content.substr(line.next));
        return result;
    }
    if (found.sectionLast) {
        const Line& after = found.lines[*found.sectionLast];
        result.append(content.substr(0, after.next));
        if (!after.hasBreak()) {
            result.append(kLineEnd);
        }
        result.append(key);
        result += '=';
        result.append(value);
        result.append(kLineEnd);
        result.append(content.substr(after.next));
        return result;
    }
    result.append(content);
    if (!found.lines.empty() && !found.lines.back().hasBreak()) {
        result.append(kLineEnd);
    }
    result += '[';
    result.append(section);
    result += ']';
    result.append(kLineEnd);
    result.append(key);
    result += '=';
    result.append(value);
    result.append(kLineEnd);
    return result;
}

std::string getProfileString(FileSystem& files, const std::string& path, std::string_view section, std::string_view key,
                             std::string_view fallback, std::size_t limit)
{
    const std::optional<std::string> content = files.read(path);
    if (!content) {
        return cut(trimmed(fallback), limit);
    }
    return profileValue(*content, section, key, fallback, limit);
}

bool writeProfileString(FileSystem& files, const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value)
{
    // A second copy with the same settings file writes its keys too: neither may undo the other's.
    // Without the lock the key is still written, as before.
    const std::unique_ptr<FileLock> lock = files.lockFile(path);
    std::string content;
    if (files.fileExists(path)) {
        std::optional<std::string> old = files.read(path);
        // Writing over a file we could not read would throw away the operator's other keys.
        if (!old) {
            return false;
        }
        content = std::move(*old);
    }
    const std::optional<std::string> updated = withProfileString(content, section, key, value);
    if (!updated) {
        return false;
    }
    return files.writeAtomically(path, *updated);
}

} // namespace qf
