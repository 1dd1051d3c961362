#include "platform/posix_file_system.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <dirent.h>
#include <sys/file.h>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qf {
namespace {

// The temporary file of every replacing write: mkstemp's six letters or digits follow.
constexpr std::string_view kTemporaryPrefix = ".quillfeed-";
constexpr std::size_t kTemporaryLetters = 6;
constexpr std::time_t kLeftoverAgeSeconds = 60;
constexpr auto kLockPatience = std::chrono::seconds(3);

bool isTemporaryName(std::string_view name)
{
    if (name.size() != kTemporaryPrefix.size() + kTemporaryLetters || !name.starts_with(kTemporaryPrefix)) {
        return false;
    }
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(kTemporaryPrefix.size()), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

class PosixFileLock final : public FileLock {
  public:
    explicit PosixFileLock(int fd) : fd_(fd) {}
    PosixFileLock(const PosixFileLock&) = delete;
    PosixFileLock& operator=(const PosixFileLock&) = delete;
    // Closing the descriptor lets the lock go.
    ~PosixFileLock() override { ::close(fd_); }

  private:
    int fd_;
};

// Waits for the lock a while, never for good.
bool lockBefore(int fd, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return true;
        }
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        const timespec nap{0, 2 * 1000 * 1000};
        ::nanosleep(&nap, nullptr);
    }
}

bool writeAll(int fd, const std::string& bytes)
{
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a chain of symbolic links ends at, which need not exist yet; the path itself when it
// is no link; nothing when the chain loops or cannot be read.
std::optional<std::string> linkTarget(const std::string& path)
{
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return current;
        }
        std::string next(PATH_MAX, '\0');
        const ssize_t n = ::readlink(current.c_str(), next.data(), next.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= next.size()) {
            return std::nullopt;
        }
        next.resize(static_cast<std::size_t>(n));
        current = next.front() == '/' ? next : folderOf(current) + "/" + next;
    }
    return std::nullopt;
}

std::optional<std::string> readAll(int fd)
{
    std::string content;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (n == 0) {
            return content;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
}

bool writeAllAt(int fd, const std::string& bytes, std::size_t count, std::size_t& written)
{
    written = 0;
    while (written < count) {
        const ssize_t n = ::pwrite(fd, bytes.data() + written, count - written, static_cast<off_t>(written));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// Whether the file can take size bytes: within the file-size limit (a write past it raises
// SIGXFSZ, which ends the program unless ignored) and on a disk with room for what it adds.
bool roomFor(int fd, std::size_t size, std::size_t oldSize)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && size > limit.rlim_cur) {
        return false;
    }
    if (size <= oldSize) {
        return true;
    }
    // Reserved beyond the end without changing the size; a file system that cannot reserve
    // leaves a full disk to the restore.
    const off_t grow = static_cast<off_t>(size - oldSize);
    return ::fallocate(fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(oldSize), grow) == 0 ||
           (errno != ENOSPC && errno != EDQUOT && errno != EFBIG);
}

// Not atomic, so only when no temporary file can be made. The room is checked first and the old
// bytes are put back when a write still fails, so the file is new or as it was.
bool writeInPlace(const std::string& path, const std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const std::optional<std::string> old = readAll(fd);
    if (!old || !roomFor(fd, bytes.size(), old->size())) {
        ::close(fd);
        return false;
    }
    std::size_t touched = 0;
    bool ok = writeAllAt(fd, bytes, bytes.size(), touched) && ::fsync(fd) == 0;
    if (ok && bytes.size() < old->size()) {
        ok = ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd) == 0;
        touched = old->size();
    }
    if (!ok) {
        std::size_t restored = 0;
        writeAllAt(fd, *old, std::min(touched, old->size()), restored);
        [[maybe_unused]] const int sized = ::ftruncate(fd, static_cast<off_t>(old->size()));
        ::fsync(fd);
    }
    ::close(fd);
    return ok;
}

} // namespace

bool PosixFileSystem::directoryExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixFileSystem::createDirectory(const std::string& path)
{
    if (path.empty()) {
        return false;
    }
    // Like the desktop's folder creation: parents are made too.
    for (std::size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            const std::string part = path.substr(0, i);
            if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
                return false;
            }
        }
    }
    return directoryExists(path);
}

bool PosixFileSystem::fileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PosixFileSystem::removeFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

AppendResult PosixFileSystem::append(const std::string& path, const std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return errno == ENOENT ? AppendResult::PathNotFound : AppendResult::Failed;
    }
    const bool ok = writeAll(fd, bytes);
    ::close(fd);
    return ok ? AppendResult::Ok : AppendResult::Failed;
}

std::optional<std::string> PosixFileSystem::read(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<std::string> content = readAll(fd);
    ::close(fd);
    return content;
}

bool PosixFileSystem::writeAtomically(const std::string& path, const std::string& bytes)
{
    return replaceFile(path, bytes, true);
}

bool PosixFileSystem::writeByRename(const std::string& path, const std::string& bytes)
{
    return replaceFile(path, bytes, false);
}

bool PosixFileSystem::replaceFile(const std::string& path, const std::string& bytes, bool inPlaceWhenFolderClosed)
{
    // A link stays a link: the file it points to takes the change.
    const std::optional<std::string> link = linkTarget(path);
    if (!link) {
        return false;
    }
    const std::string& target = *link;
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    // No write bit means read-only, as the operator meant, root included.
    if (exists && ((old.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) {
        return false;
    }
    // A temporary file beside the target, then a rename: a crash leaves old or new, never half.
    std::string tmp = folderOf(target) + "/" + std::string(kTemporaryPrefix) + std::string(kTemporaryLetters, 'X');
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        // A folder that takes no new file: an existing file is still written, in place.
        return inPlaceWhenFolderClosed && exists && writeInPlace(target, bytes);
    }
    if (exists) {
        ::fchmod(fd, old.st_mode & 07777);
        // Root writing a user's file leaves it the user's.
        [[maybe_unused]] const int owned = ::fchown(fd, old.st_uid, old.st_gid);
    } else {
        ::fchmod(fd, 0644);
    }
    const bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || ::rename(tmp.c_str(), target.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    // The rename itself lasts only once the folder is on disk: a power cut must not bring back the old file.
    const int folder = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        (void)::fsync(folder);
        ::close(folder);
    }
    return true;
}

std::unique_ptr<FileLock> PosixFileSystem::lockFile(const std::string& path)
{
    const auto deadline = std::chrono::steady_clock::now() + kLockPatience;
    for (;;) {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        // A read-only file can still be locked, for its reading.
        if (fd < 0) {
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        }
        if (fd < 0) {
            return nullptr;
        }
        if (!lockBefore(fd, deadline)) {
            ::close(fd);
            return nullptr;
        }
        // A write renames a new file over the one locked here: then the lock guards nothing, and
        // is taken again on the file the path names now.
        struct stat held {};
        struct stat named {};
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino) {
            return std::make_unique<PosixFileLock>(fd);
        }
        ::close(fd);
    }
}

std::unique_ptr<FileLock> PosixFileSystem::tryLockFile(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) {
        // Without the file nobody holds the lock: what it guards must not wait for good.
        return std::make_unique<FileLock>();
    }
    int locked = 0;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return held ? nullptr : std::make_unique<FileLock>();
    }
    return std::make_unique<PosixFileLock>(fd);
}

std::vector<std::string> PosixFileSystem::removeLeftovers(const std::string& folder)
{
    std::vector<std::string> removed;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return removed;
    }
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        if (!isTemporaryName(entry->d_name)) {
            continue;
        }
        // Younger ones may be another program's write under way.
        const std::string path = folder + "/" + entry->d_name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && now - st.st_mtime > kLeftoverAgeSeconds &&
            ::unlink(path.c_str()) == 0) {
            removed.push_back(path);
        }
    }
    ::closedir(dir);
    return removed;
}

} // namespace qf
