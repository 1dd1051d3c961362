// This machine's host name ("raspberrypi"), as the system gives it; empty when it gives none.
#pragma once

#include <string>

namespace qf {

std::string machineName();

} // namespace qf
