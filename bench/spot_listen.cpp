// Stands in for the spot service: listens on a loopback UDP port, starts the sender command given
// after "--" (quillfeed-send burst), and measures how long each spot record took from its decode's
// send to its arrival, while sampling the resident memory of the program under test.
//
//   spot_listen --pid PID [--port 7350] [--rate 50] [--count N] [--quiet-s 60] -- COMMAND ...
//
// The burst paces its decodes from the moment it starts, decode i at i / rate seconds, and each
// decode's caller is burstCallsign(i); a record's heard callsign (field 5) gives its decode.
// Prints one JSON line. Plain POSIX on purpose: the thing measured is the program, not this one.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "quillfeed-send/traffic.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kListenerBufferBytes = 256 * 1024 * 1024;

[[noreturn]] void die(const std::string& what)
{
    std::fprintf(stderr, "spot_listen: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(2);
}

long residentKb(int pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

std::string field(const std::string& record, int index)
{
    std::size_t start = 0;
    for (int i = 0; i < index; ++i) {
        start = record.find('|', start);
        if (start == std::string::npos) {
            return {};
        }
        ++start;
    }
    return record.substr(start, record.find('|', start) - start);
}

double msSince(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

} // namespace

int main(int argc, char** argv)
{
    int port = 7350;
    int pid = 0;
    unsigned rate = 50;
    std::uint64_t count = 6000;
    int quietSeconds = 60;
    int a = 1;
    for (; a < argc && std::strcmp(argv[a], "--") != 0; a += 2) {
        if (a + 1 >= argc) {
            std::fprintf(stderr, "spot_listen: %s needs a value\n", argv[a]);
            return 2;
        }
        const std::string name = argv[a];
        const long value = std::strtol(argv[a + 1], nullptr, 10);
        if (name == "--port") {
            port = static_cast<int>(value);
        } else if (name == "--pid") {
            pid = static_cast<int>(value);
        } else if (name == "--rate") {
            rate = static_cast<unsigned>(value);
        } else if (name == "--count") {
            count = static_cast<std::uint64_t>(value);
        } else if (name == "--quiet-s") {
            quietSeconds = static_cast<int>(value);
        } else {
            std::fprintf(stderr, "spot_listen: unknown option %s\n", name.c_str());
            return 2;
        }
    }
    if (a + 1 >= argc || pid <= 0 || rate == 0) {
        std::fprintf(stderr, "usage: spot_listen --pid PID [--port P] [--rate R] [--count N] [--quiet-s S] -- CMD\n");
        return 2;
    }

    std::unordered_map<std::string, std::uint64_t> decodeOf;
    for (std::uint64_t i = 0; i < count; ++i) {
        decodeOf.emplace(qf::send::burstCallsign(i), i);
    }

    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        die("socket");
    }
    // A batch arrives back to back: the listener must not be the one that loses records.
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &kListenerBufferBytes, sizeof kListenerBufferBytes) != 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kListenerBufferBytes, sizeof kListenerBufferBytes);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        die("bind to 127.0.0.1:" + std::to_string(port));
    }

    const long rssBefore = residentKb(pid);
    long rssPeak = rssBefore;
    const Clock::time_point start = Clock::now();
    const pid_t sender = ::fork();
    if (sender == 0) {
        // The sender's own lines are not this program's result.
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
        ::execvp(argv[a + 1], argv + a + 1);
        die(std::string("exec ") + argv[a + 1]);
    }
    if (sender < 0) {
        die("fork");
    }

    std::uint64_t records = 0;
    std::uint64_t unknown = 0;
    std::uint64_t duplicates = 0;
    std::uint64_t batches = 0;
    std::uint64_t beforeTrafficEnd = 0;
    double longestWaitMs = 0;
    double waitSumMs = 0;
    std::vector<bool> seen(count, false);
    Clock::time_point trafficEnd{};
    bool senderDone = false;
    int senderStatus = 0;
    Clock::time_point lastSample = start;
    Clock::time_point lastArrival{};
    char buffer[65536];

    for (;;) {
        const Clock::time_point now = Clock::now();
        if (!senderDone && ::waitpid(sender, &senderStatus, WNOHANG) == sender) {
            senderDone = true;
            trafficEnd = now;
            beforeTrafficEnd = records;
        }
        if (senderDone && now - trafficEnd > std::chrono::seconds(quietSeconds)) {
            break;
        }
        if (now - lastSample >= 1s) {
            rssPeak = std::max(rssPeak, residentKb(pid));
            lastSample = now;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) {
            continue;
        }
        for (;;) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n < 0) {
                break;
            }
            const Clock::time_point arrived = Clock::now();
            // Records more than half a second apart belong to different batches.
            if (records == 0 || arrived - lastArrival > 500ms) {
                ++batches;
            }
            lastArrival = arrived;
            ++records;
            const auto it = decodeOf.find(field(std::string(buffer, static_cast<std::size_t>(n)), 4));
            if (it == decodeOf.end()) {
                ++unknown;
                continue;
            }
            if (seen[it->second]) {
                ++duplicates;
            }
            seen[it->second] = true;
            const double sentMs = static_cast<double>(it->second) * 1000.0 / rate;
            const double waitMs = msSince(start, arrived) - sentMs;
            longestWaitMs = std::max(longestWaitMs, waitMs);
            waitSumMs += waitMs;
        }
    }
    const long rssAfter = residentKb(pid);
    rssPeak = std::max(rssPeak, rssAfter);
    const std::uint64_t known = records - unknown;
    std::printf("{\"decodes\":%llu,\"rate\":%u,\"records\":%llu,\"unknown\":%llu,\"duplicates\":%llu,\"batches\":%llu,"
                "\"received_during_traffic\":%llu,\"longest_wait_ms\":%.0f,\"mean_wait_ms\":%.0f,"
                "\"rss_before_kb\":%ld,\"rss_peak_kb\":%ld,\"rss_after_kb\":%ld,\"sender_status\":%d}\n",
                static_cast<unsigned long long>(count), rate, static_cast<unsigned long long>(records),
                static_cast<unsigned long long>(unknown), static_cast<unsigned long long>(duplicates),
                static_cast<unsigned long long>(batches), static_cast<unsigned long long>(beforeTrafficEnd),
                longestWaitMs, known > 0 ? waitSumMs / static_cast<double>(known) : 0.0, rssBefore, rssPeak, rssAfter,
                WIFEXITED(senderStatus) ? WEXITSTATUS(senderStatus) : -1);
    return 0;
}
