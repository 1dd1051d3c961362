// The loopback address with a port, for the benchmarks' own plain POSIX clients.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdint>

inline sockaddr_in loopback(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    return a;
}
