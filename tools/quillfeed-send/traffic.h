// What quillfeed-send puts on the wire: each command as a list of timed datagrams, the scripted session
// and the varied decodes of a burst. No sockets and no clock reading here, so the timing can be checked.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "quillfeed-send/command_line.h"
#include "wsjtx/datagram_builder.h"

namespace qf::send {

inline constexpr std::uint64_t kMsPerDay = 86400000;
inline constexpr std::uint32_t kPeriodMs = 15000;
// The receiver drops decodes for 15 s after a frequency change; one second more clears it on whole seconds.
inline constexpr std::uint32_t kHoldMs = 16000;
inline constexpr std::uint32_t kQuickWaitMs = 1000;

struct UtcTime {
    std::uint64_t julianDay = 0;
    std::uint32_t msOfDay = 0;

    std::uint64_t absoluteMs() const { return julianDay * kMsPerDay + msOfDay; }
    static UtcTime fromAbsoluteMs(std::uint64_t ms)
    {
        return {ms / kMsPerDay, static_cast<std::uint32_t>(ms % kMsPerDay)};
    }
};

inline UtcTime utcNow()
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    constexpr std::uint64_t kUnixEpochJulianDay = 2440588;
    return UtcTime::fromAbsoluteMs(kUnixEpochJulianDay * kMsPerDay + static_cast<std::uint64_t>(ms));
}

inline std::uint32_t periodStart(std::uint32_t msOfDay)
{
    return msOfDay - msOfDay % kPeriodMs;
}

// One datagram and the pause before it.
struct Step {
    std::uint32_t waitMs = 0;
    std::string label;
    std::string bytes;
    std::string waitReason;
};

inline Step heartbeatStep(const Target& t)
{
    return {0, "Heartbeat", wsjtx::heartbeatMessage(t.id, t.schema), {}};
}

inline Step statusStep(const Target& t, const StatusOptions& o, bool decoding = false)
{
    wsjtx::StatusFields f;
    f.id = t.id;
    f.schema = t.schema;
    f.dialHz = o.dialHz;
    f.mode = o.mode;
    f.txMode = o.mode;
    f.decoding = decoding;
    return {0, "Status " + std::to_string(o.dialHz) + " Hz " + o.mode, wsjtx::statusMessage(f), {}};
}

inline Step decodeStep(const Target& t, const DecodeOptions& o, std::uint32_t defaultTimeMs)
{
    wsjtx::DecodeFields f;
    f.id = t.id;
    f.schema = t.schema;
    f.isNew = o.isNew;
    f.timeMs = o.timeMs.value_or(defaultTimeMs);
    f.snr = o.snr;
    f.deltaFrequency = o.df;
    f.mode = o.modeChar;
    f.message = o.text;
    return {0, "Decode '" + o.text + "'" + (o.isNew ? "" : " [not new]"), wsjtx::decodeMessage(f), {}};
}

// A QSO ends at the given time unless the options say otherwise, and started one minute earlier.
inline Step qsoStep(const Target& t, const QsoOptions& o, UtcTime now)
{
    wsjtx::QsoLoggedFields f = o.fields;
    f.id = t.id;
    f.schema = t.schema;
    // Logging programs stamp whole seconds.
    const UtcTime off{o.dateOff.value_or(now.julianDay), o.timeOff.value_or(now.msOfDay - now.msOfDay % 1000)};
    const UtcTime on = UtcTime::fromAbsoluteMs(off.absoluteMs() >= 60000 ? off.absoluteMs() - 60000 : 0);
    f.dateOff = off.julianDay;
    f.timeOff = off.msOfDay;
    f.dateOn = on.julianDay;
    f.timeOn = on.msOfDay;
    // Senders that carry the exchange also carry the propagation mode.
    f.withPropMode = f.withExchange;
    return {0,
            "QSO Logged " + f.dxCall + " " + f.dxGrid + " " + std::to_string(f.txFrequency) + " Hz " + f.mode,
            wsjtx::qsoLoggedMessage(f),
            {}};
}

struct ScriptedDecode {
    const char* text;
    std::int32_t snr;
    std::uint32_t df;
    bool isNew = true;
};

// A session heard on the 20 m FT8 channel: every kind of decoded text the receiver tells apart.
inline const std::vector<std::vector<ScriptedDecode>>& firstBandPeriods()
{
    static const std::vector<std::vector<ScriptedDecode>> periods = {
        {
            {"CQ Q1AAA FN42", -12, 1520},
            {"CQ DX Q1BBB EN37", -18, 845},
            {"CQ EU Q1CCC JO22", -7, 2210},
            {"CQ TEST Q1DDD IO91", -15, 1190},
            {"CQ Q1PPP", -20, 640}, // a CQ without a locator
        },
        {
            {"CQ 290 Q1EEE EM12", -9, 1875},
            {"QRZ Q1FFF KN34", -14, 1402},
            {"Q1AAA Q1GGG IO83", -16, 1655},
            {"CQ POTA Q1HHH EM79", -11, 990}, // read as the call POTA with an invalid locator
            {"Q1JJJ Q1KKK -09", -19, 2400},   // report from a station never heard with a locator
        },
        {
            {"Q1GGG Q1AAA -15", -12, 1520},
            {"Q1AAA Q1GGG R-12", -16, 1655},
            {"TNX 73", -6, 1760},
            {"CQ Q1NNN FM18", -13, 1330, false},
            {"TNX ALL 73 GL", -10, 2050},
        },
        {
            {"Q1GGG Q1AAA RR73", -11, 1520},
            {"Q1AAA Q1GGG 73", -15, 1655},
            {"CQ Q1AAA FN42", -10, 1520},
        },
    };
    return periods;
}

inline const std::vector<ScriptedDecode>& secondBandPeriod()
{
    static const std::vector<ScriptedDecode> period = {
        {"CQ Q1SSS JN45", -8, 1230},
        {"CQ DX Q1BBB EN37", -17, 845},
        {"Q1SSS Q1TTT PM95", -20, 1980},
    };
    return period;
}

inline constexpr std::uint64_t kFirstDialHz = 14074000;
inline constexpr std::uint64_t kSecondDialHz = 7074000;

inline std::vector<Step> sessionScript(const Target& t, const SessionOptions& o, UtcTime start)
{
    const std::uint32_t hold = o.quick ? kQuickWaitMs : kHoldMs;
    const std::uint32_t gap = o.quick ? kQuickWaitMs : kPeriodMs;
    auto scaled = [&](std::uint32_t ms) { return static_cast<std::uint32_t>(std::uint64_t{ms} * o.paceMs / 1000); };

    std::vector<Step> steps;
    auto add = [&](Step step, std::uint32_t waitMs, std::string reason) {
        step.waitMs = scaled(waitMs);
        step.waitReason = waitMs == 0 ? "" : std::move(reason);
        steps.push_back(std::move(step));
    };
    // Decode times step by one period whatever the pace, as a radio's would.
    std::uint64_t periodTime = (start.absoluteMs() + kHoldMs) / kPeriodMs * kPeriodMs;
    auto addPeriod = [&](const std::vector<ScriptedDecode>& decodes, std::uint32_t waitMs, const std::string& reason) {
        for (const auto& d : decodes) {
            DecodeOptions options;
            options.text = d.text;
            options.snr = d.snr;
            options.df = d.df;
            options.isNew = d.isNew;
            add(decodeStep(t, options, UtcTime::fromAbsoluteMs(periodTime).msOfDay), waitMs, reason);
            waitMs = 0;
        }
        periodTime += kPeriodMs;
    };
    const std::string holdReason = "the receiver holds decodes for 15 s after a frequency change";
    const std::string nextPeriod = "next 15-second period";

    add(heartbeatStep(t), 0, {});
    add(statusStep(t, {kFirstDialHz, "FT8"}), 0, {});
    std::uint32_t wait = hold;
    std::string reason = holdReason;
    for (std::uint32_t cycle = 0; cycle < o.cycles; ++cycle) {
        for (std::size_t p = 0; p < firstBandPeriods().size(); ++p) {
            if (p == 1) {
                // WSJT-X reports the start of decoding with the same dial: no change, no new hold.
                add(statusStep(t, {kFirstDialHz, "FT8"}, true), wait, reason);
                wait = 0;
            }
            addPeriod(firstBandPeriods()[p], wait, reason);
            wait = gap;
            reason = nextPeriod;
        }
    }
    add(statusStep(t, {kSecondDialHz, "FT8"}), gap, nextPeriod);
    addPeriod(secondBandPeriod(), hold, holdReason);

    QsoOptions qso;
    qso.fields.dxCall = "Q1SSS";
    qso.fields.dxGrid = "JN45";
    qso.fields.txFrequency = kSecondDialHz + 1230;
    qso.fields.reportSent = "-08";
    qso.fields.reportReceived = "-12";
    add(qsoStep(t, qso, UtcTime::fromAbsoluteMs(periodTime)), gap, "the QSO is logged a period later");
    return steps;
}

// Decodes for load: distinct callsigns for the first 175760 indices, plausible locators and reports.
inline std::string burstCallsign(std::uint64_t index)
{
    std::string call = "Q";
    call += static_cast<char>('0' + index % 10);
    std::uint64_t rest = index / 10;
    std::string letters(3, 'A');
    for (int i = 2; i >= 0; --i) {
        letters[i] = static_cast<char>('A' + rest % 26);
        rest /= 26;
    }
    return call + letters;
}

inline std::string burstLocator(std::uint64_t index)
{
    std::string grid(4, ' ');
    grid[0] = static_cast<char>('A' + index * 7 % 18);
    grid[1] = static_cast<char>('A' + index * 11 % 18);
    grid[2] = static_cast<char>('0' + index * 3 % 10);
    grid[3] = static_cast<char>('0' + index * 13 % 10);
    return grid;
}

// A signal report as FT8 writes it: sign and two digits.
inline std::string reportText(std::int32_t snr)
{
    const std::int64_t magnitude = snr < 0 ? -std::int64_t{snr} : snr;
    std::string digits = std::to_string(magnitude);
    if (digits.size() < 2) {
        digits.insert(0, "0");
    }
    return (snr < 0 ? "-" : "+") + digits;
}

inline DecodeOptions burstDecode(std::uint64_t index)
{
    const std::string call = burstCallsign(index);
    const std::string grid = burstLocator(index);
    DecodeOptions d;
    d.snr = -24 + static_cast<std::int32_t>(index * 7 % 35);
    d.df = 200 + static_cast<std::uint32_t>(index * 37 % 2800);
    switch (index % 5) {
    case 0:
        d.text = "CQ " + call + " " + grid;
        break;
    case 1:
        d.text = "CQ DX " + call + " " + grid;
        break;
    case 2:
        d.text = "Q9ZZZ " + call + " " + grid;
        break;
    case 3:
        d.text = burstCallsign(index + 1) + " " + call + " " + reportText(d.snr);
        break;
    default:
        d.text = "QRZ " + call + " " + grid;
        break;
    }
    return d;
}

// Every command but burst, whose datagrams are made as they go.
inline std::vector<Step> plan(const Invocation& inv, UtcTime now)
{
    switch (inv.command) {
    case Command::Heartbeat:
        return {heartbeatStep(inv.target)};
    case Command::Status:
        return {statusStep(inv.target, inv.status)};
    case Command::Decode:
        return {decodeStep(inv.target, inv.decode, periodStart(now.msOfDay))};
    case Command::Qso:
        return {qsoStep(inv.target, inv.qso, now)};
    case Command::Raw:
        return {Step{0, "raw datagram", inv.rawBytes, {}}};
    case Command::Session:
        return sessionScript(inv.target, inv.session, now);
    default:
        return {};
    }
}

} // namespace qf::send
