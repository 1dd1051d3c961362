// The layout of the fuzz inputs, shared by the targets and the seed generator, so that a seed
// written by one is read the same way by the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qf::fuzz {

// A session of arrivals: one options byte, then per datagram a two-byte big-endian length, a
// step byte and the bytes. A length past the end takes what is left.
namespace option {
inline constexpr std::uint8_t kOnlyCq = 0x01;
inline constexpr std::uint8_t kNoRelay = 0x02;
inline constexpr std::uint8_t kMulticast = 0x04;
inline constexpr std::uint8_t kNoLogUpload = 0x08;
inline constexpr std::uint8_t kPassReplies = 0x10; // relay targets' answers go back to the radio
inline constexpr std::uint8_t kMoreRelays = 0x20;  // one further relay target
inline constexpr std::uint8_t kNoWindow = 0x40;    // the program as --no-window runs it
} // namespace option

namespace step {
// The low three bits pick the pause after the datagram from kPausesMs.
inline constexpr std::uint8_t kPauseMask = 0x07;
inline constexpr std::uint8_t kRelayAnswers = 0x08; // the relay target sends the bytes back
inline constexpr std::uint8_t kSocketErrors = 0x10; // the sending sockets report errors afterwards
inline constexpr std::uint8_t kLogAnswers = 0x20;   // the spot service answers on the log socket
inline constexpr std::uint8_t kSendsFail = 0x40;    // every send fails while this datagram is handled
inline constexpr std::uint8_t kRestart = 0x80;      // the operator stops and starts monitoring first
} // namespace step

// Nothing, a second, the 15-second hold, a spot-timer drain, the watchdog, a repeat spot.
inline constexpr std::int64_t kPausesMs[8] = {0, 1000, 5000, 16000, 61000, 6 * 60000, 16 * 60000, 999};

struct Arrival {
    std::uint8_t step = 0;
    std::string bytes;
};

struct Session {
    std::uint8_t options = 0;
    std::vector<Arrival> arrivals;
};

inline std::string encode(const Session& s)
{
    std::string out(1, static_cast<char>(s.options));
    for (const Arrival& a : s.arrivals) {
        const std::size_t n = a.bytes.size() > 0xFFFF ? 0xFFFF : a.bytes.size();
        out += static_cast<char>((n >> 8) & 0xFF);
        out += static_cast<char>(n & 0xFF);
        out += static_cast<char>(a.step);
        out.append(a.bytes, 0, n);
    }
    return out;
}

inline Session decodeSession(const std::uint8_t* data, std::size_t size)
{
    Session s;
    if (size == 0) {
        return s;
    }
    s.options = data[0];
    std::size_t at = 1;
    while (at + 3 <= size) {
        const std::size_t n = (std::size_t{data[at]} << 8) | data[at + 1];
        Arrival a;
        a.step = data[at + 2];
        at += 3;
        const std::size_t take = n < size - at ? n : size - at;
        a.bytes.assign(reinterpret_cast<const char*>(data + at), take);
        at += take;
        s.arrivals.push_back(std::move(a));
    }
    return s;
}

// A start-up: a two-byte big-endian length and that many bytes of config.ini, then the
// command-line arguments separated by NUL bytes (none when nothing follows).
struct StartUp {
    std::string config;
    std::vector<std::string> args;
};

inline std::string encode(const StartUp& s)
{
    const std::size_t n = s.config.size() > 0xFFFF ? 0xFFFF : s.config.size();
    std::string out;
    out += static_cast<char>((n >> 8) & 0xFF);
    out += static_cast<char>(n & 0xFF);
    out.append(s.config, 0, n);
    for (std::size_t i = 0; i < s.args.size(); ++i) {
        if (i > 0) {
            out += '\0';
        }
        out += s.args[i];
    }
    return out;
}

inline StartUp decodeStartUp(const std::uint8_t* data, std::size_t size)
{
    StartUp s;
    if (size < 2) {
        return s;
    }
    const std::size_t n = (std::size_t{data[0]} << 8) | data[1];
    const std::size_t take = n < size - 2 ? n : size - 2;
    s.config.assign(reinterpret_cast<const char*>(data + 2), take);
    std::size_t at = 2 + take;
    if (at == size) {
        return s;
    }
    std::string arg;
    for (; at < size; ++at) {
        if (data[at] == 0) {
            s.args.push_back(std::move(arg));
            arg.clear();
        } else {
            arg += static_cast<char>(data[at]);
        }
    }
    s.args.push_back(std::move(arg));
    return s;
}

} // namespace qf::fuzz
