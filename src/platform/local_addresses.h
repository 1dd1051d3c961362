// Whether a dotted IPv4 address belongs to this machine: a loopback address (127.0.0.0/8) or an
// address of one of its interfaces, read afresh at each call (a lease may change it).
#pragma once

#include <string>

namespace qf {

bool isLoopbackAddress(const std::string& dotted);
bool isAddressOfThisMachine(const std::string& dotted);

} // namespace qf
