// The few file operations the program needs; every call opens and closes what it touches.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qf {

enum class AppendResult { Ok, PathNotFound, Failed };

// Held while one read-change-write of a file runs; released when it goes.
class FileLock {
  public:
    virtual ~FileLock() = default;
};

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
    // An exclusive lock on the file that other programs taking it wait for; a missing file is made
    // empty. Nothing when it cannot be had within a few seconds: a stuck program must not freeze this one.
    virtual std::unique_ptr<FileLock> lockFile(const std::string& path) = 0;
    // The same lock, for as long as it is held, but never waited for: nothing while another program
    // holds it. A lock file that cannot be made counts as had: nobody could hold it then.
    virtual std::unique_ptr<FileLock> tryLockFile(const std::string& path) = 0;
    // Removes the temporary files that a killed program's writes left in the folder (this
    // program's name pattern only, older than a minute) and gives their paths.
    virtual std::vector<std::string> removeLeftovers(const std::string& folder) = 0;
};

} // namespace qf
