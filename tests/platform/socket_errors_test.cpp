#include "platform/socket_errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace qf {
namespace {

TEST(SocketErrors, errno_values_map_to_the_socket_layer_numbers_the_messages_name)
{
    struct Row {
        int err;
        int code;
        const char* description;
    } rows[] = {
        {EADDRINUSE, 10048, "Address already in use"},
        {EADDRNOTAVAIL, 10049, "Cannot assign requested address"},
        {EACCES, 10013, "Permission denied"},
        {EPERM, 10013, "Permission denied"},
        {EINVAL, 10022, "Invalid argument"},
        {EMSGSIZE, 10040, "Message too long"},
        {ENETUNREACH, 10051, "Network is unreachable"},
        {ECONNREFUSED, 10061, "Connection refused"},
        {EHOSTUNREACH, 10065, "No route to host"},
        {EAGAIN, 10035, "Resource temporarily unavailable"},
        {ENOBUFS, 10055, "No buffer space available"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(socketErrorFromErrno(row.err), (SocketError{row.code, row.description})) << row.err;
    }
}

TEST(SocketErrors, an_errno_without_counterpart_keeps_the_system_text_under_a_socket_number)
{
    const SocketError e = socketErrorFromErrno(EIO);
    EXPECT_EQ(e.code, kSystemCallFailure);
    EXPECT_EQ(e.description, std::strerror(EIO));
    EXPECT_NE(socketErrorFromErrno(0).description, "");
}

TEST(SocketErrors, host_not_found_is_11001)
{
    EXPECT_EQ(hostNotFound(), (SocketError{11001, "Host not found"}));
}

} // namespace
} // namespace qf
