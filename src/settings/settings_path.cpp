#include "settings/settings_path.h"

#include <string_view>

namespace qf {
namespace {

bool isOption(std::string_view text, std::size_t at)
{
    return text.size() - at >= 3 && text[at] == '/' && (text[at + 1] == 'C' || text[at + 1] == 'c') &&
           text[at + 2] == '=';
}

// The shell has taken the quotes away; put them back where a blank would otherwise end the value.
std::string commandLineText(const std::vector<std::string>& args)
{
    std::string text;
    for (const std::string& arg : args) {
        if (!text.empty()) {
            text += ' ';
        }
        const std::string_view value = std::string_view(arg).substr(isOption(arg, 0) ? 3 : arg.size());
        if (isOption(arg, 0) && value.find(' ') != std::string_view::npos && value.front() != '"') {
            text += arg.substr(0, 3);
            text += '"';
            text += value;
            text += '"';
        } else {
            text += arg;
        }
    }
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string asciiUpper(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

} // namespace

std::string settingsPathFromArguments(const std::vector<std::string>& args, const std::string& appFolder)
{
    const std::string defaultPath = appFolder + "/config.ini";
    const std::string text = commandLineText(args);
    std::size_t at = 0;
    while (at < text.size() && !isOption(text, at)) {
        ++at;
    }
    if (at >= text.size()) {
        return defaultPath;
    }
    std::string value;
    bool quoted = false;
    for (std::size_t i = at + 3; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            if (i == at + 3) {
                quoted = true;
                continue;
            }
            break;
        }
        if (c == ' ' && !quoted) {
            break;
        }
        value += c;
    }
    if (value.empty()) {
        return defaultPath;
    }
    // Upper-casing a path on a case-sensitive file system would name another file.
    if (quoted || value.front() == '/') {
        return value;
    }
    return appFolder + "/" + asciiUpper(value);
}

std::string outboxPathFor(const std::string& settingsPath, const std::string& appFolder)
{
    if (settingsPath == appFolder + "/config.ini") {
        return appFolder + "/Outbox.txt";
    }
    const std::size_t slash = settingsPath.find_last_of('/');
    const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    const std::string folder = settingsPath.substr(0, nameAt);
    std::string stem = settingsPath.substr(nameAt);
    // "radio.2.ini" keeps "radio.2"; ".ini" alone is a name, not an extension.
    if (const std::size_t dot = stem.find_last_of('.'); dot != std::string::npos && dot > 0) {
        stem.resize(dot);
    }
    return folder + stem + "-Outbox.txt";
}

} // namespace qf
