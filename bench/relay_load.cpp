// Load for a UDP relay over loopback: sends numbered WSJT-X Decode datagrams to the relay's port,
// back-to-back or paced, and counts what reaches a listener on each of the relay's target ports
// unchanged. The counts reported are those of the worst target.
//
//   relay_load free-port
//   relay_load mark COUNT
//   relay_load --to PORT --listen PORT [--listen PORT ...] --count N [--rate PER_SECOND]
//              [--warm-seconds S] [--quiet-ms MS] [--probe-timeout-s S] [--relay-pid PID] [--radios N] [--json]
//
// With --radios N the decodes come from N radio programs in turn (Ids "WSJT-X", "WSJT-X - RIG2", ...),
// each given a Status of its own band before the run.
//
// With --relay-pid it also reports the CPU time the relay's main thread spent per datagram it took in.
//
// Plain POSIX on purpose: the thing measured is the relay, not this program.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "loopback.h"
#include "wsjtx/datagram_builder.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kProbeId = "RELAY-PROBE";
// Taken by root only: the listener must not be the one that loses datagrams.
constexpr int kListenerBufferBytes = 256 * 1024 * 1024;
// What a small datagram costs in a receive queue (skb overhead included), rounded up.
constexpr std::size_t kQueueBytesPerDatagram = 4096;

[[noreturn]] void die(const std::string& what)
{
    std::fprintf(stderr, "relay_load: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(2);
}

int boundSocket(int port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        die("socket");
    }
    const sockaddr_in a = loopback(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        die("bind to port " + std::to_string(port));
    }
    return fd;
}

int localPort(int fd)
{
    sockaddr_in a{};
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    return ntohs(a.sin_port);
}

// The calling station's callsign carries the sequence number, so every datagram is distinct and
// the last one can be recognised in the window's raw pane.
std::string callsign(std::size_t seq)
{
    std::string c = "Q";
    c += static_cast<char>('0' + seq % 10);
    seq /= 10;
    for (int k = 0; k < 4; ++k) {
        c += static_cast<char>('A' + seq % 26);
        seq /= 26;
    }
    return c;
}

// A few hundred answering stations, from a prefix the callers never use.
std::string answering(std::size_t seq)
{
    const std::size_t i = (seq * 7 + 3) % 500;
    std::string c = "N";
    c += static_cast<char>('0' + i % 10);
    c += static_cast<char>('A' + (i / 10) % 26);
    c += static_cast<char>('A' + (i / 260) % 26);
    c += 'X';
    return c;
}

// The radio program that sends datagram seq: with several, they take turns.
std::string radioId(std::size_t seq, int radios)
{
    return seq % static_cast<std::size_t>(radios) == 0 ? "WSJT-X" : "WSJT-X - RIG" + std::to_string(seq % radios + 1);
}

// The mix a busy FT8 band gives: CQs, directed CQs, answers with a locator, reports, sign-offs.
std::string decodeDatagram(std::size_t seq, int radios)
{
    const std::string a = callsign(seq);
    const std::string b = answering(seq);
    qf::wsjtx::DecodeFields d;
    switch (seq % 5) {
    case 0:
        d.message = "CQ " + a + " FN42";
        break;
    case 1:
        d.message = "CQ DX " + a + " IN80";
        break;
    case 2:
        d.message = b + " " + a + " EN37";
        break;
    case 3:
        d.message = b + " " + a + " -15";
        break;
    default:
        d.message = b + " " + a + " RR73";
        break;
    }
    d.snr = -static_cast<int>(seq % 24);
    d.deltaFrequency = static_cast<std::uint32_t>(200 + (seq * 37) % 2800);
    d.timeMs = static_cast<std::uint32_t>(36000000 + (seq / 40) * 15000);
    d.id = radioId(seq, radios);
    return qf::wsjtx::decodeMessage(d);
}

std::string probeDatagram(int k)
{
    qf::wsjtx::DecodeFields d;
    d.id = kProbeId;
    d.message = "PROBE " + std::to_string(k);
    return qf::wsjtx::decodeMessage(d);
}

// Each radio program on a band of its own.
std::string statusDatagram(int radio, int radios)
{
    qf::wsjtx::StatusFields s;
    s.id = radioId(static_cast<std::size_t>(radio), radios);
    s.dialHz = 14074000 - static_cast<std::uint64_t>(radio) * 7000000 / std::max(1, radios - 1);
    return qf::wsjtx::statusMessage(s);
}

bool isProbeTraffic(const std::string& d)
{
    return d.find(kProbeId) != std::string::npos;
}

// Datagrams the kernel dropped on sockets bound to this local port (full receive queue).
long kernelDrops(int port)
{
    std::ifstream in("/proc/net/udp");
    std::string line;
    std::getline(in, line);
    long drops = 0;
    bool found = false;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string sl, local, remote, st, queues, tr, retr, uid, timeout, inode, ref, pointer;
        long d = 0;
        if (!(fields >> sl >> local >> remote >> st >> queues >> tr >> retr >> uid >> timeout >> inode >> ref >>
              pointer >> d)) {
            continue;
        }
        const auto colon = local.find(':');
        if (colon != std::string::npos && std::strtol(local.c_str() + colon + 1, nullptr, 16) == port) {
            drops += d;
            found = true;
        }
    }
    return found ? drops : -1;
}

// Nanoseconds the process's main thread has run on a CPU; -1 if it cannot be read.
std::int64_t cpuNs(int pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/schedstat");
    long long ns = -1;
    return in >> ns ? ns : -1;
}

std::int64_t monotonicNs(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

class Listener {
  public:
    explicit Listener(int port) : fd_(boundSocket(port)), port_(port)
    {
        const int bytes = kListenerBufferBytes;
        if (::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0) {
            (void)::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
        }
        socklen_t length = sizeof bufferBytes_;
        ::getsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bufferBytes_, &length);
        buffer_.resize(65536);
    }
    ~Listener() { ::close(fd_); }
    int bufferBytes() const { return bufferBytes_; }
    int port() const { return port_; }

    std::optional<std::string> receive(std::chrono::milliseconds timeout)
    {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) {
            return std::nullopt;
        }
        const ssize_t n = ::recv(fd_, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
        if (n < 0) {
            return std::nullopt;
        }
        return std::string(buffer_.data(), static_cast<std::size_t>(n));
    }

    // Everything until nothing has come for `quiet`; false if `limit` ran out first.
    template <typename Take> bool drain(std::chrono::milliseconds quiet, Clock::duration limit, Take take)
    {
        const auto end = Clock::now() + limit;
        while (Clock::now() < end) {
            auto d = receive(quiet);
            if (!d) {
                return true;
            }
            take(std::move(*d));
        }
        return false;
    }

  private:
    int fd_;
    int port_;
    int bufferBytes_ = 0;
    std::vector<char> buffer_;
};

struct Options {
    int to = 0;
    std::vector<int> listen;
    std::size_t count = 0;
    double rate = 0; // 0: back-to-back
    int warmSeconds = 0;
    int quietMs = 1500;
    int probeTimeoutS = 30;
    int relayPid = 0;
    int radios = 1;
    bool json = false;
};

struct Tally {
    std::size_t relayed = 0;
    std::size_t corrupted = 0;
    std::size_t duplicates = 0;
    std::size_t reordered = 0;
    std::size_t probes = 0;
};

using SentIndex = std::unordered_map<std::string, std::size_t>;

SentIndex indexOf(const std::vector<std::string>& sent)
{
    SentIndex index;
    index.reserve(sent.size() * 2);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        index.emplace(sent[i], i);
    }
    return index;
}

class Counter {
  public:
    Counter(const SentIndex& index, std::size_t count) : index_(index), seen_(count, false) {}
    void take(const std::string& d)
    {
        const auto it = index_.find(d);
        if (it == index_.end()) {
            if (isProbeTraffic(d)) {
                ++tally.probes;
            } else {
                ++tally.corrupted;
            }
            return;
        }
        const std::size_t seq = it->second;
        if (seen_[seq]) {
            ++tally.duplicates;
            return;
        }
        seen_[seq] = true;
        ++tally.relayed;
        if (any_ && seq < highest_) {
            ++tally.reordered;
        }
        highest_ = std::max(highest_, seq);
        any_ = true;
    }
    Tally tally;

  private:
    const SentIndex& index_;
    std::vector<bool> seen_;
    std::size_t highest_ = 0;
    bool any_ = false;
};

using Listeners = std::vector<std::unique_ptr<Listener>>;

// Waits until the relay passes a probe through to the first target, then lets everything settle.
bool waitForRelay(int sender, const Listeners& listeners, const Options& o)
{
    Listener& listener = *listeners.front();
    const auto end = Clock::now() + std::chrono::seconds(o.probeTimeoutS);
    bool through = false;
    for (int k = 0; !through && Clock::now() < end; ++k) {
        const std::string probe = probeDatagram(k);
        (void)::send(sender, probe.data(), probe.size(), 0);
        const auto wait = Clock::now() + 100ms;
        while (!through && Clock::now() < wait) {
            auto d = listener.receive(20ms);
            through = d && isProbeTraffic(*d);
        }
    }
    if (!through) {
        return false;
    }
    if (o.warmSeconds > 0) {
        // A Status gives the relay a dial frequency; decodes are analysed once its hold is over.
        for (int radio = 0; radio < o.radios; ++radio) {
            const std::string status = statusDatagram(radio, o.radios);
            (void)::send(sender, status.data(), status.size(), 0);
        }
        std::this_thread::sleep_for(std::chrono::seconds(o.warmSeconds));
    }
    for (const auto& l : listeners) {
        l->drain(300ms, 10s, [](std::string&&) {});
    }
    return true;
}

void sendAll(int sender, const std::vector<std::string>& datagrams, double rate, std::size_t& sendErrors)
{
    const auto start = Clock::now();
    const auto period = rate > 0 ? std::chrono::nanoseconds(static_cast<std::int64_t>(1e9 / rate)) : 0ns;
    for (std::size_t i = 0; i < datagrams.size(); ++i) {
        if (rate > 0) {
            const auto due = start + period * static_cast<std::int64_t>(i);
            for (auto now = Clock::now(); now < due; now = Clock::now()) {
                if (due - now > 200us) {
                    std::this_thread::sleep_for(due - now - 100us);
                }
            }
        }
        const std::string& d = datagrams[i];
        while (::send(sender, d.data(), d.size(), 0) < 0) {
            if (errno != EINTR && errno != ENOBUFS && errno != EAGAIN) {
                ++sendErrors;
                break;
            }
        }
    }
}

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "relay_load: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--to") {
            o.to = std::atoi(value().c_str());
        } else if (a == "--listen") {
            o.listen.push_back(std::atoi(value().c_str()));
        } else if (a == "--count") {
            o.count = std::strtoul(value().c_str(), nullptr, 10);
        } else if (a == "--rate") {
            o.rate = std::atof(value().c_str());
        } else if (a == "--warm-seconds") {
            o.warmSeconds = std::atoi(value().c_str());
        } else if (a == "--quiet-ms") {
            o.quietMs = std::atoi(value().c_str());
        } else if (a == "--probe-timeout-s") {
            o.probeTimeoutS = std::atoi(value().c_str());
        } else if (a == "--relay-pid") {
            o.relayPid = std::atoi(value().c_str());
        } else if (a == "--radios") {
            o.radios = std::max(1, std::atoi(value().c_str()));
        } else if (a == "--json") {
            o.json = true;
        } else {
            std::fprintf(stderr, "relay_load: unknown argument %s\n", a.c_str());
            std::exit(2);
        }
    }
    const bool portsOk = std::all_of(o.listen.begin(), o.listen.end(), [](int p) { return p > 0 && p <= 65535; });
    if (o.to <= 0 || o.to > 65535 || o.listen.empty() || !portsOk || o.count == 0) {
        std::fprintf(stderr, "relay_load: --to, --listen and --count are required\n");
        std::exit(2);
    }
    return o;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "free-port") == 0) {
        const int fd = boundSocket(0);
        std::printf("%d\n", localPort(fd));
        ::close(fd);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "mark") == 0) {
        const long count = std::atol(argv[2]);
        std::printf("%s\n", callsign(static_cast<std::size_t>(count > 0 ? count - 1 : 0)).c_str());
        return 0;
    }
    const Options o = parse(argc, argv);

    Listeners listeners;
    for (const int port : o.listen) {
        listeners.push_back(std::make_unique<Listener>(port));
    }
    const int sender = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_in target = loopback(o.to);
    if (sender < 0 || ::connect(sender, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
        die("sender socket");
    }
    if (!waitForRelay(sender, listeners, o)) {
        std::fprintf(stderr, "relay_load: nothing came through the relay within %d s\n", o.probeTimeoutS);
        return 3;
    }

    std::vector<std::string> datagrams;
    datagrams.reserve(o.count);
    for (std::size_t i = 0; i < o.count; ++i) {
        datagrams.push_back(decodeDatagram(i, o.radios));
    }
    const SentIndex index = indexOf(datagrams);
    std::vector<Counter> counters;
    std::vector<long> listenerDropsBefore;
    for (const auto& l : listeners) {
        counters.emplace_back(index, o.count);
        listenerDropsBefore.push_back(kernelDrops(l->port()));
    }
    const long relayDropsBefore = kernelDrops(o.to);
    const std::int64_t cpuBefore = o.relayPid > 0 ? cpuNs(o.relayPid) : -1;

    // With queues big enough for the whole run the listeners read afterwards and take no CPU
    // from the relay; otherwise they must read alongside.
    const bool readAfter = std::all_of(listeners.begin(), listeners.end(), [&](const auto& l) {
        return static_cast<std::size_t>(l->bufferBytes()) >= o.count * kQueueBytesPerDatagram;
    });
    std::atomic<bool> sending{true};
    std::vector<std::thread> readers;
    for (std::size_t k = 0; !readAfter && k < listeners.size(); ++k) {
        readers.emplace_back([&, k] {
            while (sending.load()) {
                if (auto d = listeners[k]->receive(50ms)) {
                    counters[k].take(*d);
                }
            }
        });
    }
    std::size_t sendErrors = 0;
    const auto first = Clock::now();
    sendAll(sender, datagrams, o.rate, sendErrors);
    const auto last = Clock::now();
    sending = false;
    for (auto& r : readers) {
        r.join();
    }
    bool settled = true;
    for (std::size_t k = 0; k < listeners.size(); ++k) {
        settled = listeners[k]->drain(std::chrono::milliseconds(o.quietMs), 300s, [&](std::string&& d) {
            counters[k].take(d);
        }) && settled;
    }
    ::close(sender);

    const std::int64_t cpuAfter = o.relayPid > 0 ? cpuNs(o.relayPid) : -1;
    const long relayDropsAfter = kernelDrops(o.to);
    long listenerDrops = 0;
    for (std::size_t k = 0; k < listeners.size(); ++k) {
        listenerDrops += kernelDrops(listeners[k]->port()) - listenerDropsBefore[k];
    }
    // The worst target: fewest relayed; changed, duplicated and reordered ones added up.
    Tally t = counters.front().tally;
    std::string lostPerTarget;
    for (const Counter& c : counters) {
        t.relayed = std::min(t.relayed, c.tally.relayed);
        if (&c != &counters.front()) {
            t.corrupted += c.tally.corrupted;
            t.duplicates += c.tally.duplicates;
            t.reordered += c.tally.reordered;
        }
        lostPerTarget += (lostPerTarget.empty() ? "" : ",") + std::to_string(o.count - c.tally.relayed);
    }
    const std::size_t lost = o.count - t.relayed;
    const double sendSeconds = std::chrono::duration<double>(last - first).count();
    const double achieved = sendSeconds > 0 ? static_cast<double>(o.count) / sendSeconds : 0;
    const long relayQueueDrops =
        relayDropsBefore >= 0 && relayDropsAfter >= 0 ? relayDropsAfter - relayDropsBefore : -1;
    // Per datagram the relay took in: what its queue dropped cost it nothing.
    const std::int64_t taken = static_cast<std::int64_t>(o.count) - std::max(relayQueueDrops, 0L);
    const long long cpuPerDatagram =
        cpuBefore >= 0 && cpuAfter >= 0 && taken > 0 ? static_cast<long long>((cpuAfter - cpuBefore) / taken) : -1;

    if (o.json) {
        std::printf("{\"sent\":%zu,\"relayed\":%zu,\"lost\":%zu,\"corrupted\":%zu,\"duplicates\":%zu,"
                    "\"reordered\":%zu,\"send_errors\":%zu,\"relay_queue_drops\":%ld,\"listener_drops\":%ld,"
                    "\"rate\":%.0f,\"achieved_rate\":%.0f,\"send_s\":%.4f,"
                    "\"relay_cpu_ns_per_datagram\":%lld,\"settled\":%s,\"first_send_ns\":%lld,\"last_send_ns\":%lld,"
                    "\"targets\":%zu,\"lost_per_target\":[%s]}\n",
                    o.count, t.relayed, lost, t.corrupted, t.duplicates, t.reordered, sendErrors, relayQueueDrops,
                    listenerDrops, o.rate, achieved, sendSeconds, cpuPerDatagram, settled ? "true" : "false",
                    static_cast<long long>(monotonicNs(first)), static_cast<long long>(monotonicNs(last)),
                    listeners.size(), lostPerTarget.c_str());
    } else {
        std::printf("sent=%zu relayed=%zu lost=%zu corrupted=%zu duplicates=%zu reordered=%zu send_errors=%zu "
                    "relay_queue_drops=%ld listener_drops=%ld achieved_rate=%.0f/s send_s=%.4f "
                    "relay_cpu_ns_per_datagram=%lld targets=%zu lost_per_target=%s\n",
                    o.count, t.relayed, lost, t.corrupted, t.duplicates, t.reordered, sendErrors, relayQueueDrops,
                    listenerDrops, achieved, sendSeconds, cpuPerDatagram, listeners.size(), lostPerTarget.c_str());
    }
    if (listenerDrops > 0) {
        std::fprintf(stderr,
                     "relay_load: the listeners themselves dropped %ld datagrams; the count is not the relay's\n",
                     listenerDrops);
    }
    return 0;
}
