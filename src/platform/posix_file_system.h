// FileSystem on the real POSIX file system.
#pragma once

#include "platform/file_system.h"

namespace qf {

class PosixFileSystem final : public FileSystem {
  public:
    bool directoryExists(const std::string& path) override;
    bool createDirectory(const std::string& path) override;
    bool fileExists(const std::string& path) override;
    bool removeFile(const std::string& path) override;
    AppendResult append(const std::string& path, const std::string& bytes) override;
    std::optional<std::string> read(const std::string& path) override;
    bool writeAtomically(const std::string& path, const std::string& bytes) override;
    bool writeByRename(const std::string& path, const std::string& bytes) override;
    std::unique_ptr<FileLock> lockFile(const std::string& path) override;
    std::unique_ptr<FileLock> tryLockFile(const std::string& path) override;
    std::vector<std::string> removeLeftovers(const std::string& folder) override;

  private:
    static bool replaceFile(const std::string& path, const std::string& bytes, bool inPlaceWhenFolderClosed);
};

} // namespace qf
