// Profile (INI) files read and written with the desktop's profile-call semantics: names match in
// any ASCII case, values come back trimmed, a write touches one key's line and keeps every other byte.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace qf {

// The reader's buffer holds 1024 characters, the terminator included.
inline constexpr std::size_t kProfileValueLimit = 1023;

// The value of key in section, or the fall-back when the file, section or key is missing or the
// file cannot be read; blanks and tabs around it removed, cut to limit bytes.
std::string getProfileString(FileSystem& files, const std::string& path, std::string_view section, std::string_view key,
                             std::string_view fallback, std::size_t limit = kProfileValueLimit);

// Stores one key through a whole-file replacement. False when the file could not be read or
// written, or the names cannot be stored; the file is then left exactly as it was.
bool writeProfileString(FileSystem& files, const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);

// The same rules on file contents in memory.
std::string profileValue(std::string_view content, std::string_view section, std::string_view key,
                         std::string_view fallback, std::size_t limit = kProfileValueLimit);
// The contents with the key stored; nullopt for a section or key name the format cannot hold.
std::optional<std::string> withProfileString(std::string_view content, std::string_view section, std::string_view key,
                                             std::string_view value);

} // namespace qf
