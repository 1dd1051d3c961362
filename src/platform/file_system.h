// The few file operations the program needs; every call opens and closes what it touches.
#pragma once

#include <optional>
#include <string>

namespace qf {

enum class AppendResult { Ok, PathNotFound, Failed };

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    virtual bool directoryExists(const std::string& path) = 0;
    virtual bool createDirectory(const std::string& path) = 0;
    virtual bool fileExists(const std::string& path) = 0;
    virtual bool removeFile(const std::string& path) = 0;
    virtual AppendResult append(const std::string& path, const std::string& bytes) = 0;
    virtual std::optional<std::string> read(const std::string& path) = 0;
    // Replaces the file as a whole or not at all.
    virtual bool writeAtomically(const std::string& path, const std::string& bytes) = 0;
    // As writeAtomically, but never in place: false where the folder takes no new file, so that
    // a crash at any moment leaves the old file or the new one, whole.
    virtual bool writeByRename(const std::string& path, const std::string& bytes) = 0;
};

} // namespace qf
