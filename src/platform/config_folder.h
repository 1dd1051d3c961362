// Where the per-user configuration lives on this desktop, by the XDG rules.
#pragma once

#include <functional>
#include <string>

namespace qf {

// An absolute $XDG_CONFIG_HOME, else an absolute $HOME + "/.config", else the home folder from
// the user database + "/.config"; empty when none of them names an absolute folder. Relative
// values are ignored, as the XDG rules say; trailing slashes are dropped.
std::string configFolderFrom(const char* xdgConfigHome, const char* home,
                             const std::function<std::string()>& userDatabaseHome);

// The same from the environment and the user database of the running user.
std::string configFolder();

} // namespace qf
