// An in-memory file system with switches for the failures the program must survive.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace qf::test {

class FakeFileSystem final : public FileSystem {
  public:
    bool directoryExists(const std::string& path) override { return dirs.count(path) != 0; }
    bool createDirectory(const std::string& path) override
    {
        if (failCreateDirectory) {
            return false;
        }
        dirs.insert(path);
        return true;
    }
    bool fileExists(const std::string& path) override { return files.count(path) != 0; }
    bool removeFile(const std::string& path) override { return files.erase(path) != 0; }
    AppendResult append(const std::string& path, const std::string& bytes) override
    {
        if (lockedFiles.count(path) != 0) {
            return AppendResult::Failed;
        }
        if (dirs.count(folderOf(path)) == 0) {
            return AppendResult::PathNotFound;
        }
        files[path] += bytes;
        return AppendResult::Ok;
    }
    std::optional<std::string> read(const std::string& path) override
    {
        if (unreadable || files.count(path) == 0) {
            return std::nullopt;
        }
        return files[path];
    }
    bool writeAtomically(const std::string& path, const std::string& bytes) override
    {
        ++writes;
        if (readOnly || dirs.count(folderOf(path)) == 0) {
            return false;
        }
        files[path] = bytes;
        return true;
    }
    bool writeByRename(const std::string& path, const std::string& bytes) override
    {
        return writeAtomically(path, bytes);
    }

    std::unique_ptr<FileLock> lockFile(const std::string&) override
    {
        ++locks;
        return lockBusy ? nullptr : std::make_unique<FileLock>();
    }
    std::vector<std::string> removeLeftovers(const std::string& folder) override
    {
        leftoversLookedFor.push_back(folder);
        return {};
    }

    static std::string folderOf(const std::string& path)
    {
        const auto slash = path.find_last_of('/');
        return slash == std::string::npos ? std::string() : path.substr(0, slash);
    }

    std::set<std::string> dirs;
    std::map<std::string, std::string> files;
    std::set<std::string> lockedFiles;
    bool failCreateDirectory = false;
    bool readOnly = false;
    bool unreadable = false;
    bool lockBusy = false;
    int writes = 0;
    int locks = 0;
    std::vector<std::string> leftoversLookedFor;
};

} // namespace qf::test
