// An in-memory file system with switches for the failures the program must survive.
#pragma once

#include <map>
#include <memory>
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
    // Shared by both programs of one store, as the kernel's locks are; freed when the lock goes.
    std::unique_ptr<FileLock> tryLockFile(const std::string& path) override
    {
        if (!heldLocks->insert(path).second) {
            return nullptr;
        }
        class Held final : public FileLock {
          public:
            Held(std::shared_ptr<std::set<std::string>> held, std::string path)
                : held_(std::move(held)), path_(std::move(path))
            {
            }
            ~Held() override { held_->erase(path_); }

          private:
            std::shared_ptr<std::set<std::string>> held_;
            std::string path_;
        };
        return std::make_unique<Held>(heldLocks.ptr, path);
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
    // A copy of the store is another machine's: nobody holds its locks.
    struct HeldLocks {
        HeldLocks() = default;
        HeldLocks(const HeldLocks&) {}
        HeldLocks& operator=(const HeldLocks&)
        {
            ptr = std::make_shared<std::set<std::string>>();
            return *this;
        }
        std::set<std::string>* operator->() const { return ptr.get(); }
        std::shared_ptr<std::set<std::string>> ptr = std::make_shared<std::set<std::string>>();
    } heldLocks;
};

} // namespace qf::test
