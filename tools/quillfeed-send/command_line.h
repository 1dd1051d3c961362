// The command line of quillfeed-send: what to send, where, and how to tell the user about bad arguments.
// Pure parsing, so that every refusal is a message and never a crash.
#pragma once

#include <charconv>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "wsjtx/datagram_builder.h"

namespace qf::send {

inline constexpr std::string_view kUsage =
    R"(Usage: quillfeed-send [--host H] [--port P] [--schema 2|3] [--id ID] [--multicast-ttl N]
                      [--from-port P] COMMAND ...

Sends WSJT-X UDP datagrams, as WSJT-X or JTDX would, to try a listener without a radio.

Options (before or after the command):
  --host H            destination address or name (default 127.0.0.1); a multicast group such as
                      239.255.0.1 is sent on the loopback interface, with loopback delivery on
  --port P            destination UDP port (default 2237)
  --schema 2|3        schema number in the header (default 2)
  --id ID             the sending program's Id (default WSJT-X)
  --multicast-ttl N   time to live of multicast datagrams, 0 to 255 (default 1)
  --from-port P       send from this local UDP port (default: one the system picks); a listener
                      takes several runs with the same Id and port for one program
  --help              this text

Commands:
  heartbeat
  status [--dial HZ] [--mode FT8]
  decode [--snr N] [--df HZ] [--mode-char ~] [--not-new] [--time HHMMSS] TEXT
         TEXT is the decoded message, e.g. "CQ Q1AAA FN42"; the time defaults to the
         current 15-second period (UTC)
  qso [--dx-call C] [--dx-grid G] [--tx-hz HZ] [--mode M] [--rst-sent S] [--rst-rcvd R]
      [--power P] [--comments C] [--name N] [--date-off YYYY-MM-DD] [--time-off HH:MM:SS]
      [--my-call C] [--my-grid G] [--no-exchange]
         a QSO Logged message; the end defaults to now (UTC), the start is one minute earlier;
         --no-exchange ends the message after the own grid, as older senders do
  raw HEX
         arbitrary bytes, e.g. ADBCCBDA00000004; blanks between digits are allowed and ""
         sends an empty datagram
  session [--pace-ms N] [--cycles N] [--quick]
         a Heartbeat, a Status (14.074 MHz FT8), 16 s later the decode periods 15 s apart
         (every kind of decoded text), a Status on 7.074 MHz, 16 s later more decodes, and a
         QSO Logged message. The 16 s let the receiver's 15 s hold after a frequency change pass.
         --cycles N   plays the decode periods before the frequency change N times (default 1)
         --pace-ms N  milliseconds per second of the script (default 1000): scales every wait
         --quick      every wait is one second; the receiver then discards the decodes that
                      follow a frequency change (its 15 s hold), so use it to see the traffic
                      and the hold, not the spotting
         Waits are announced on standard error.
  burst --count N [--rate PER_SECOND]
         N Decode datagrams with varied texts and callsigns, back to back or at the given rate

One line "sent ..." per datagram on standard output (burst prints one summary line).
Exit status: 0 done, 1 a send failed, 2 bad arguments.
)";

enum class Command { None, Heartbeat, Status, Decode, Qso, Raw, Session, Burst };

struct Target {
    std::string host = "127.0.0.1";
    std::uint16_t port = 2237;
    int schema = 2;
    std::string id = "WSJT-X";
    int multicastTtl = 1;
    int fromPort = 0;
};

struct StatusOptions {
    std::uint64_t dialHz = 14074000;
    std::string mode = "FT8";
};

struct DecodeOptions {
    std::int32_t snr = -12;
    std::uint32_t df = 1520;
    std::string modeChar = "~";
    bool isNew = true;
    std::optional<std::uint32_t> timeMs;
    std::string text;
};

struct QsoOptions {
    wsjtx::QsoLoggedFields fields;
    std::optional<std::uint64_t> dateOff;
    std::optional<std::uint32_t> timeOff;
};

struct SessionOptions {
    std::uint32_t paceMs = 1000;
    std::uint32_t cycles = 1;
    bool quick = false;
};

struct BurstOptions {
    std::uint64_t count = 0;
    std::uint32_t ratePerSecond = 0; // 0: back to back
};

struct Invocation {
    Target target;
    Command command = Command::None;
    StatusOptions status;
    DecodeOptions decode;
    QsoOptions qso;
    std::string rawBytes;
    SessionOptions session;
    BurstOptions burst;
};

struct ParseResult {
    bool help = false;
    std::string error; // empty when the command line is usable
    Invocation invocation;
};

namespace detail {

template <typename T> std::optional<T> parseInteger(std::string_view text, T min, T max)
{
    if (text.empty() || text.front() == '+') {
        return std::nullopt;
    }
    T value{};
    const auto* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

inline std::optional<std::string> parseHex(std::string_view text)
{
    std::string bytes;
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == '\t') {
            continue;
        }
        int nibble = -1;
        if (c >= '0' && c <= '9') {
            nibble = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            nibble = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            nibble = c - 'A' + 10;
        } else {
            return std::nullopt;
        }
        if (high < 0) {
            high = nibble;
        } else {
            bytes += static_cast<char>(high * 16 + nibble);
            high = -1;
        }
    }
    if (high >= 0) {
        return std::nullopt;
    }
    return bytes;
}

// Digits at fixed places with optional separators: "HHMMSS" or "HH:MM:SS".
inline std::optional<std::uint32_t> parseClock(std::string_view text, bool withColons)
{
    const std::size_t width = withColons ? 8 : 6;
    if (text.size() != width || (withColons && (text[2] != ':' || text[5] != ':'))) {
        return std::nullopt;
    }
    const std::size_t step = withColons ? 3 : 2;
    std::uint32_t parts[3];
    for (int i = 0; i < 3; ++i) {
        auto part = parseInteger<std::uint32_t>(text.substr(i * step, 2), 0, i == 0 ? 23 : 59);
        if (!part) {
            return std::nullopt;
        }
        parts[i] = *part;
    }
    return ((parts[0] * 60 + parts[1]) * 60 + parts[2]) * 1000;
}

inline std::optional<std::uint64_t> parseDate(std::string_view text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    auto year = parseInteger<int>(text.substr(0, 4), 1, 9999);
    auto month = parseInteger<unsigned>(text.substr(5, 2), 1, 12);
    auto day = parseInteger<unsigned>(text.substr(8, 2), 1, 31);
    if (!year || !month || !day) {
        return std::nullopt;
    }
    const auto julian = wsjtx::julianDay(*year, *month, *day);
    if (julian == 0) {
        return std::nullopt;
    }
    return julian;
}

} // namespace detail

inline ParseResult parseCommandLine(const std::vector<std::string>& args)
{
    ParseResult result;
    Invocation& inv = result.invocation;
    std::vector<std::string> positional;

    struct Option {
        std::string_view name;
        bool takesValue;
        // Returns the reason when the value is refused.
        std::function<std::string(const std::string&)> apply;
    };
    auto number = [](auto& target, auto min, auto max, std::string_view what) {
        using T = std::remove_reference_t<decltype(target)>;
        return [&target, min = static_cast<T>(min), max = static_cast<T>(max), what](const std::string& v) {
            auto parsed = detail::parseInteger<T>(v, min, max);
            if (!parsed) {
                return std::string(what) + " must be a whole number from " + std::to_string(min) + " to " +
                       std::to_string(max) + ", not '" + v + "'";
            }
            target = *parsed;
            return std::string();
        };
    };
    auto text = [](std::string& target) {
        return [&target](const std::string& v) {
            target = v;
            return std::string();
        };
    };
    auto flag = [](bool& target, bool value) {
        return [&target, value](const std::string&) {
            target = value;
            return std::string();
        };
    };

    int port = inv.target.port;
    const std::vector<Option> globalOptions = {
        {"--host", true,
         [&](const std::string& v) {
             if (v.empty()) {
                 return std::string("the host must not be empty");
             }
             inv.target.host = v;
             return std::string();
         }},
        {"--port", true, number(port, 1, 65535, "the port")},
        {"--schema", true, number(inv.target.schema, 2, 3, "the schema")},
        {"--id", true, text(inv.target.id)},
        {"--multicast-ttl", true, number(inv.target.multicastTtl, 0, 255, "the multicast TTL")},
        {"--from-port", true, number(inv.target.fromPort, 1, 65535, "the local port")},
    };

    auto& q = inv.qso;
    auto& d = inv.decode;
    const std::vector<std::pair<Command, std::vector<Option>>> commandOptions = {
        {Command::Heartbeat, {}},
        {Command::Status,
         {
             {"--dial", true,
              number(inv.status.dialHz, 0, std::numeric_limits<std::uint64_t>::max(), "the dial frequency")},
             {"--mode", true, text(inv.status.mode)},
         }},
        {Command::Decode,
         {
             {"--snr", true,
              number(d.snr, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(),
                     "the SNR")},
             {"--df", true, number(d.df, 0, std::numeric_limits<std::uint32_t>::max(), "the audio offset")},
             {"--mode-char", true, text(d.modeChar)},
             {"--not-new", false, flag(d.isNew, false)},
             {"--time", true,
              [&](const std::string& v) {
                  d.timeMs = detail::parseClock(v, false);
                  return d.timeMs ? std::string() : "the time must be HHMMSS (UTC), not '" + v + "'";
              }},
         }},
        {Command::Qso,
         {
             {"--dx-call", true, text(q.fields.dxCall)},
             {"--dx-grid", true, text(q.fields.dxGrid)},
             {"--tx-hz", true,
              number(q.fields.txFrequency, 0, std::numeric_limits<std::uint64_t>::max(), "the transmit frequency")},
             {"--mode", true, text(q.fields.mode)},
             {"--rst-sent", true, text(q.fields.reportSent)},
             {"--rst-rcvd", true, text(q.fields.reportReceived)},
             {"--power", true, text(q.fields.txPower)},
             {"--comments", true, text(q.fields.comments)},
             {"--name", true, text(q.fields.name)},
             {"--my-call", true, text(q.fields.myCall)},
             {"--my-grid", true, text(q.fields.myGrid)},
             {"--no-exchange", false, flag(q.fields.withExchange, false)},
             {"--date-off", true,
              [&](const std::string& v) {
                  q.dateOff = detail::parseDate(v);
                  return q.dateOff ? std::string() : "the date must be an existing YYYY-MM-DD, not '" + v + "'";
              }},
             {"--time-off", true,
              [&](const std::string& v) {
                  q.timeOff = detail::parseClock(v, true);
                  return q.timeOff ? std::string() : "the time must be HH:MM:SS (UTC), not '" + v + "'";
              }},
         }},
        {Command::Raw, {}},
        {Command::Session,
         {
             {"--pace-ms", true, number(inv.session.paceMs, 0, 60000, "the pace")},
             {"--cycles", true, number(inv.session.cycles, 1, 1000, "the number of cycles")},
             {"--quick", false, flag(inv.session.quick, true)},
         }},
        {Command::Burst,
         {
             {"--count", true, number(inv.burst.count, 1, 1000000000, "the count")},
             {"--rate", true, number(inv.burst.ratePerSecond, 1, 10000000, "the rate")},
         }},
    };
    const std::vector<std::pair<std::string_view, Command>> commandNames = {
        {"heartbeat", Command::Heartbeat},
        {"status", Command::Status},
        {"decode", Command::Decode},
        {"qso", Command::Qso},
        {"raw", Command::Raw},
        {"session", Command::Session},
        {"burst", Command::Burst},
    };
    auto fail = [&](std::string message) {
        result.error = std::move(message);
        return result;
    };
    auto commandName = [&](Command c) {
        for (const auto& [name, command] : commandNames) {
            if (command == c) {
                return std::string(name);
            }
        }
        return std::string();
    };

    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            result.help = true;
            return result;
        }
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        // A single dash starts no option, so that a decode text such as "-15" passes.
        if (optionsEnded || arg.size() < 3 || !arg.starts_with("--")) {
            if (inv.command == Command::None) {
                for (const auto& [name, command] : commandNames) {
                    if (arg == name) {
                        inv.command = command;
                    }
                }
                if (inv.command == Command::None) {
                    return fail("unknown command '" + arg + "'");
                }
            } else {
                positional.push_back(arg);
            }
            continue;
        }
        const auto equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const Option* option = nullptr;
        for (const auto& o : globalOptions) {
            if (o.name == name) {
                option = &o;
            }
        }
        for (const auto& [command, options] : commandOptions) {
            for (const auto& o : options) {
                if (command == inv.command && o.name == name) {
                    option = &o;
                }
            }
        }
        if (option == nullptr) {
            if (inv.command == Command::None) {
                return fail("unknown option '" + name + "' (options of a command go after it)");
            }
            return fail("unknown option '" + name + "' for " + commandName(inv.command));
        }
        std::string value;
        if (option->takesValue) {
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return fail("option '" + name + "' needs a value");
            }
        } else if (equals != std::string::npos) {
            return fail("option '" + name + "' takes no value");
        }
        if (auto refusal = option->apply(value); !refusal.empty()) {
            return fail(refusal);
        }
    }
    inv.target.port = static_cast<std::uint16_t>(port);

    switch (inv.command) {
    case Command::None:
        return fail("no command given");
    case Command::Decode:
        if (positional.size() != 1) {
            return fail("decode needs exactly one TEXT (quote it: \"CQ Q1AAA FN42\")");
        }
        d.text = positional.front();
        return result;
    case Command::Raw: {
        if (positional.size() != 1) {
            return fail("raw needs exactly one HEX argument");
        }
        auto bytes = detail::parseHex(positional.front());
        if (!bytes) {
            return fail("raw needs pairs of hexadecimal digits, not '" + positional.front() + "'");
        }
        inv.rawBytes = *bytes;
        return result;
    }
    case Command::Burst:
        if (inv.burst.count == 0) {
            return fail("burst needs --count N");
        }
        break;
    default:
        break;
    }
    if (!positional.empty()) {
        return fail(commandName(inv.command) + " takes no argument '" + positional.front() + "'");
    }
    return result;
}

} // namespace qf::send
