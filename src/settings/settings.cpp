#include "settings/settings.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "settings/leading_number.h"
#include "settings/profile_file.h"
#include "spotting/locator.h"

namespace qf {
namespace {

std::string_view fallbackFor(std::string_view key)
{
    for (const SettingKey& entry : kSettingKeys) {
        if (entry.key == key) {
            return entry.fallback;
        }
    }
    return {};
}

bool isOn(const std::string& value)
{
    return !value.empty() && value.front() == '1';
}

std::string withoutLeadingBlanks(std::string text)
{
    text.erase(0, text.find_first_not_of(' '));
    return text;
}

// Letters a..z only: bytes above 127 are 8-bit text of unknown code page and stay as they are.
std::string asciiUpper(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

int positionFrom(const std::string& value)
{
    const double n = roundHalfEven(leadingNumber(value));
    constexpr double lowest = std::numeric_limits<std::int32_t>::min();
    constexpr double highest = std::numeric_limits<std::int32_t>::max();
    if (std::isnan(n)) {
        return 0;
    }
    if (n < lowest) {
        return static_cast<int>(lowest);
    }
    return static_cast<int>(n > highest ? highest : n);
}

} // namespace

Settings::Settings(FileSystem& files, WindowModel& window, std::string path)
    : files_(files), window_(window), path_(std::move(path))
{
}

void Settings::createDefaultsIfMissing()
{
    if (files_.fileExists(path_)) {
        return;
    }
    // The same bytes as twelve single writes, but a program killed half-way can no longer
    // leave a file that exists and lacks keys, which would never be completed.
    std::string content;
    for (const SettingKey& entry : kSettingKeys) {
        if (auto next = withProfileString(content, kSettingsSection, entry.key, entry.creationValue)) {
            content = std::move(*next);
        }
    }
    files_.writeAtomically(path_, content);
}

std::string Settings::read(std::string_view key)
{
    const std::size_t limit = key == kMoreRelaysKey ? std::string::npos : kProfileValueLimit;
    return getProfileString(files_, path_, kSettingsSection, key, fallbackFor(key), limit);
}

// A value past the limit is cut only at a blank, so no item is ever cut into another target.
std::string Settings::moreRelays()
{
    std::string value = read(kMoreRelaysKey);
    if (value.size() <= kMoreRelaysLimit) {
        return value;
    }
    constexpr const char* kBlanks = " \t";
    const std::size_t blank = value.find_last_of(kBlanks, kMoreRelaysLimit);
    const std::size_t keep = blank == std::string::npos ? 0 : value.find_last_not_of(kBlanks, blank) + 1;
    std::size_t items = 0;
    std::string first;
    for (std::size_t start = value.find_first_not_of(kBlanks, keep); start != std::string::npos;
         start = value.find_first_not_of(kBlanks, start)) {
        const std::size_t end = std::min(value.find_first_of(kBlanks, start), value.size());
        if (items++ == 0) {
            first = end - start > 255 ? value.substr(start, 255) + "..." : value.substr(start, end - start);
        }
        start = end;
    }
    if (onSkipped) {
        onSkipped("Settings: MoreRelays is longer than " + std::to_string(kMoreRelaysLimit) +
                  " bytes: " + std::to_string(items) + " items skipped, the first " + first);
    }
    value.resize(keep);
    return value;
}

void Settings::load(const std::function<void()>& pressStart, const std::function<void(int top, int left)>& setPosition)
{
    auto text = [this](std::string_view key) { return withoutLeadingBlanks(read(key)); };

    window_.udpPort.setText(text("UdpPort"));
    if (isOn(text("Trace"))) {
        window_.trace.setChecked(true);
    }
    window_.callsign.setText(text("MyStationId"));
    window_.locator.setText(text("MyLocator"));
    window_.multicastGroup.setText(text("MulticastGroup"));
    window_.servIP.setText(text("ServIP"));
    window_.servPort.setText(text("ServPort"));
    // Before an automatic start, whose relay set-up reads it.
    window_.moreRelays.setText(moreRelays());
    window_.setListenAddress(text(kListenAddressKey));
    if (isOn(text("MonitorOnStarup"))) {
        window_.autoMon.setChecked(true);
        if (pressStart) {
            pressStart();
        }
    }
    const int top = positionFrom(text("Top"));
    const int left = positionFrom(text("Left"));
    if (setPosition) {
        setPosition(top, left);
    }
    // Not among the keys of a new file: they appear once the operator resizes the window.
    const int width = positionFrom(text("Width"));
    const int height = positionFrom(text("Height"));
    if (width > 0 && height > 0) {
        window_.setSize(width, height);
    }
    if (isOn(text("LogUpload"))) {
        window_.logUpload.setChecked(true);
    }
    if (isOn(text("OnlyCQ"))) {
        window_.soloCQ.setChecked(true);
    }
    if (isOn(text(kPassRepliesKey))) {
        window_.passReplies.setChecked(true);
    }
}

void Settings::write(const std::string& key, const std::string& value)
{
    writeProfileString(files_, path_, kSettingsSection, key, value);
}

void Settings::wireWriters(const std::function<bool()>& isLoading)
{
    auto storeText = [this, isLoading](TextField& field, const char* key) {
        field.onLostFocus = [this, isLoading, &field, key] {
            if (!isLoading()) {
                write(key, field.text());
            }
        };
    };
    storeText(window_.udpPort, "UdpPort");
    storeText(window_.multicastGroup, "MulticastGroup");
    storeText(window_.servIP, "ServIP");
    storeText(window_.servPort, "ServPort");
    storeText(window_.moreRelays, kMoreRelaysKey);

    window_.callsign.onLostFocus = [this, isLoading] {
        window_.callsign.setText(asciiUpper(window_.callsign.text()));
        if (!isLoading()) {
            write("MyStationId", window_.callsign.text());
        }
    };
    window_.locator.onLostFocus = [this, isLoading] {
        window_.locator.setText(asciiUpper(window_.locator.text()));
        if (!isLoading() && isValidLocator6(window_.locator.text())) {
            write("MyLocator", window_.locator.text());
        }
    };

    auto storeFlag = [this, isLoading](CheckBox& box, const char* key) {
        box.onClick = [this, isLoading, &box, key] {
            if (!isLoading()) {
                write(key, box.checked() ? "1" : "0");
            }
        };
    };
    storeFlag(window_.autoMon, "MonitorOnStarup");
    storeFlag(window_.soloCQ, "OnlyCQ");
    storeFlag(window_.passReplies, kPassRepliesKey);
    // Ticked: only from this computer; an address written by hand stays until the box is cleared.
    window_.onlyLocal.onClick = [this, isLoading] {
        if (isLoading()) {
            return;
        }
        window_.setListenAddress(window_.onlyLocal.checked() ? kThisComputer : "");
        write(kListenAddressKey, window_.listenAddress());
    };
}

} // namespace qf
