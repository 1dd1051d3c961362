// The operator's settings: the key table, the default file, loading into the window at start-up
// and the writers that store one key at the moment a field or check box changes.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "window/window_model.h"

namespace qf {

inline constexpr std::string_view kSettingsSection = "OPTIONS";

struct SettingKey {
    std::string_view key;
    std::string_view creationValue; // written when the file is created
    std::string_view fallback;      // read when an existing file lacks the key
};

// In the order a new file is written.
inline constexpr std::array<SettingKey, 12> kSettingKeys{{
    {"UdpPort", "2237", "?"},
    {"MonitorOnStarup", "0", "?"},
    {"Trace", "0", "?"},
    {"MyStationId", "", "?"},
    {"MyLocator", "", "?"},
    {"MulticastGroup", "", ""},
    {"ServIP", "127.0.0.1", "127.0.0.1"},
    {"ServPort", "52237", "52237"},
    {"Top", "0", "0"},
    {"Left", "0", "0"},
    {"LogUpload", "0", "?"},
    {"OnlyCQ", "0", "0"},
}};

// Optional, so a first run does not write it; missing (an empty fall-back) means no further relays.
// Read whole, not cut at 1023 bytes; past kMoreRelaysLimit bytes whole items are left out.
inline constexpr const char* kMoreRelaysKey = "MoreRelays";
inline constexpr std::size_t kMoreRelaysLimit = 32767;
// Optional as well: "1" passes the relay targets' answers back to WSJT-X; missing means off.
inline constexpr const char* kPassRepliesKey = "PassReplies";
// Optional too: the one local address to listen on; missing or empty, all of them.
inline constexpr const char* kListenAddressKey = "ListenAddress";

class Settings {
  public:
    Settings(FileSystem& files, WindowModel& window, std::string path);

    const std::string& path() const { return path_; }

    // Writes the whole default file in one go when none exists; an existing one is left alone.
    void createDefaultsIfMissing();

    // Reads the keys into the window in their fixed order. pressStart runs as soon as
    // "MonitorOnStarup" has ticked its box, before the position and the last two boxes are read.
    void load(const std::function<void()>& pressStart, const std::function<void(int top, int left)>& setPosition);

    // The value as loading sees it: the table's fall-back when missing or unreadable.
    std::string read(std::string_view key);

    // Stores one key; failures are not reported.
    void write(const std::string& key, const std::string& value);

    // Focus-loss writers of the text fields and the click writers of CBAutoMon and CBSoloCQ.
    void wireWriters(const std::function<bool()>& isLoading);

    // Told, as a trace line, of what loading had to leave out.
    std::function<void(const std::string& line)> onSkipped;

  private:
    std::string moreRelays();

    FileSystem& files_;
    WindowModel& window_;
    std::string path_;
};

} // namespace qf
