#include "platform/socket_errors.h"

#include <cerrno>
#include <cstring>

namespace qf {

SocketError socketErrorFromErrno(int err)
{
    switch (err) {
    case EINTR:
        return {10004, "Interrupted function call"};
    case EBADF:
    case ENOTSOCK:
        return {10038, "Socket operation on nonsocket"};
    case EACCES:
    case EPERM:
        return {kAccessDenied, "Permission denied"};
    case EFAULT:
        return {10014, "Bad address"};
    case EINVAL:
        return {kInvalidSocketArgument, "Invalid argument"};
    case EMFILE:
    case ENFILE:
        return {10024, "Too many open files"};
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EAGAIN:
        return {kWouldBlock, "Resource temporarily unavailable"};
    case EDESTADDRREQ:
        return {10039, "Destination address required"};
    case EMSGSIZE:
        return {kMessageTooLong, "Message too long"};
    case ENOPROTOOPT:
        return {10042, "Bad protocol option"};
    case EPROTONOSUPPORT:
        return {10043, "Protocol not supported"};
    case EOPNOTSUPP:
        return {10045, "Operation not supported"};
    case EAFNOSUPPORT:
        return {10047, "Address family not supported by protocol family"};
    case EADDRINUSE:
        return {kAddressInUse, "Address already in use"};
    case EADDRNOTAVAIL:
        return {kAddressNotAvailable, "Cannot assign requested address"};
    case ENETDOWN:
        return {10050, "Network is down"};
    case ENETUNREACH:
        return {kNetworkUnreachable, "Network is unreachable"};
    case ECONNRESET:
        return {10054, "Connection reset by peer"};
    case ENOBUFS:
    case ENOMEM:
        return {kNoBufferSpace, "No buffer space available"};
    case EISCONN:
        return {10056, "Socket is already connected"};
    case ENOTCONN:
        return {10057, "Socket is not connected"};
    case ETIMEDOUT:
        return {10060, "Connection timed out"};
    case ECONNREFUSED:
        return {kConnectionRefused, "Connection refused"};
    case EHOSTDOWN:
        return {10064, "Host is down"};
    case EHOSTUNREACH:
    case ENONET:
        return {kHostUnreachable, "No route to host"};
    default:
        break;
    }
    const char* text = std::strerror(err);
    return {kSystemCallFailure, text != nullptr && *text != '\0' ? text : "System call failure"};
}

SocketError hostNotFound()
{
    return {kHostNotFound, "Host not found"};
}

} // namespace qf
