// Text from a datagram or a peer, made safe for a journal or trace line: control bytes (below 32,
// and DEL) are written as \xNN, so a crafted Id cannot end the line or drive a terminal.
#pragma once

#include <string>
#include <string_view>

namespace qf {

std::string escapeControlBytes(std::string_view text);

} // namespace qf
