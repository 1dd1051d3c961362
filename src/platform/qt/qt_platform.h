// Where the per-user configuration lives on this desktop.
#pragma once

#include <string>

namespace qf {

// $XDG_CONFIG_HOME, else ~/.config; empty when the system names no such folder.
std::string configFolder();

} // namespace qf
