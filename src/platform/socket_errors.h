// The socket layer's error numbers and descriptions, as the behaviour and its trace lines expect
// them, derived from the errno values and resolver failures of the POSIX sockets underneath.
#pragma once

#include <string>

namespace qf {

struct SocketError {
    int code;
    std::string description;
    friend bool operator==(const SocketError&, const SocketError&) = default;
};

inline constexpr int kAddressInUse = 10048;
inline constexpr int kAddressNotAvailable = 10049;
inline constexpr int kAccessDenied = 10013;
inline constexpr int kInvalidSocketArgument = 10022;
inline constexpr int kWouldBlock = 10035;
inline constexpr int kMessageTooLong = 10040;
inline constexpr int kNetworkUnreachable = 10051;
inline constexpr int kNoBufferSpace = 10055;
inline constexpr int kConnectionRefused = 10061;
inline constexpr int kHostUnreachable = 10065;
inline constexpr int kSystemCallFailure = 10107;
inline constexpr int kHostNotFound = 11001;

// Maps an errno value to the closest socket-layer number; an errno without a counterpart becomes
// a system-call failure described by the system's own text, so nothing is reported without words.
SocketError socketErrorFromErrno(int err);

SocketError hostNotFound();

} // namespace qf
