// A client of the status page for the relay benchmark: asks for /status.json at a steady rate over
// one kept-alive connection (a new one when the server closes it) until SIGTERM, then prints how
// many requests were answered with 200 and how many were not.
//
//   status_poll free-port
//   status_poll PORT [PER_SECOND]      (default 10 a second)
//
// Plain POSIX on purpose: the thing measured is the relay, not this program.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "loopback.h"

namespace {

volatile std::sig_atomic_t stopping = 0;

int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in a = loopback(port);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
        return fd;
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return -1;
}

// One request and its whole answer (headers and Content-Length bytes); false when it did not come.
bool ask(int fd, const std::string& request, std::string& status)
{
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
        return false;
    }
    std::string answer;
    char buf[65536];
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, 2000) > 0) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            return false;
        }
        answer.append(buf, static_cast<std::size_t>(n));
        const auto end = answer.find("\r\n\r\n");
        const auto length = answer.find("Content-Length: ");
        if (end != std::string::npos && length != std::string::npos &&
            answer.size() >= end + 4 + std::strtoul(answer.c_str() + length + 16, nullptr, 10)) {
            status = answer.substr(0, answer.find("\r\n"));
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "free-port") == 0) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = loopback(0);
        socklen_t length = sizeof a;
        ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
        std::printf("%d\n", ntohs(a.sin_port));
        ::close(fd);
        return 0;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: status_poll free-port | PORT [PER_SECOND]\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const int perSecond = argc > 2 ? std::atoi(argv[2]) : 10;
    std::signal(SIGTERM, [](int) { stopping = 1; });
    std::signal(SIGINT, [](int) { stopping = 1; });
    const std::string request =
        "GET /status.json HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\nConnection: keep-alive\r\n\r\n";
    const auto interval = std::chrono::microseconds(1000000 / (perSecond > 0 ? perSecond : 10));
    long answered = 0, failed = 0;
    int fd = -1;
    auto next = std::chrono::steady_clock::now();
    while (!stopping) {
        if (fd < 0) {
            fd = connectTo(port);
        }
        std::string status;
        const bool ok = fd >= 0 && ask(fd, request, status) && status == "HTTP/1.1 200 OK";
        if (stopping) {
            break;
        }
        if (ok) {
            ++answered;
        } else {
            ++failed;
            if (fd >= 0) {
                ::close(fd);
            }
            fd = -1;
        }
        next += interval;
        std::this_thread::sleep_until(next);
    }
    std::printf("{\"answered\":%ld,\"failed\":%ld}\n", answered, failed);
    return 0;
}
