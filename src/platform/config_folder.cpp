#include "platform/config_folder.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace qf {
namespace {

bool isAbsolute(const std::string& path)
{
    return !path.empty() && path.front() == '/';
}

std::string withoutTrailingSlashes(std::string path)
{
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string homeFromUserDatabase()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->pw_dir == nullptr) {
        return {};
    }
    return found->pw_dir;
}

} // namespace

std::string configFolderFrom(const char* xdgConfigHome, const char* home,
                             const std::function<std::string()>& userDatabaseHome)
{
    if (xdgConfigHome != nullptr && isAbsolute(xdgConfigHome)) {
        return withoutTrailingSlashes(xdgConfigHome);
    }
    std::string homeFolder = home != nullptr ? home : "";
    if (!isAbsolute(homeFolder)) {
        homeFolder = userDatabaseHome();
    }
    if (!isAbsolute(homeFolder)) {
        return {};
    }
    return withoutTrailingSlashes(homeFolder) + "/.config";
}

std::string configFolder()
{
    return configFolderFrom(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"), homeFromUserDatabase);
}

} // namespace qf
