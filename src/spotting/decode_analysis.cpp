#include "spotting/decode_analysis.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <tuple>
#include <utility>

#include "intake/datagram_intake.h"
#include "intake/wire_reader.h"
#include "spotting/locator.h"
#include "trace/failure_rule.h"

namespace qf {
namespace {

// Word k (1-based) of a blank-separated text; empty when there is none.
std::string word(const std::string& text, int k)
{
    std::size_t start = 0;
    for (int i = 1; i < k; ++i) {
        const auto blank = text.find(' ', start);
        if (blank == std::string::npos) {
            return {};
        }
        start = blank + 1;
    }
    const auto end = text.find(' ', start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string last4(const std::string& text)
{
    return text.size() <= 4 ? text : text.substr(text.size() - 4);
}

std::string after(const std::string& text, std::size_t n)
{
    return text.size() <= n ? std::string() : text.substr(n);
}

bool startsWith(const std::string& text, std::string_view prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

std::string foldBlanks(std::string_view text)
{
    const std::string trimmed = trimBlanks(text);
    std::string out;
    out.reserve(trimmed.size());
    for (std::size_t i = 0; i < trimmed.size(); ++i) {
        out += trimmed[i];
        if (trimmed[i] == ' ' && i + 1 < trimmed.size() && trimmed[i + 1] == ' ') {
            ++i;
        }
    }
    return out;
}

bool isNumericWord(std::string_view w)
{
    std::size_t i = 0;
    if (i < w.size() && (w[i] == '+' || w[i] == '-')) {
        ++i;
    }
    bool digits = false;
    bool point = false;
    for (; i < w.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(w[i]))) {
            digits = true;
        } else if (w[i] == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digits;
}

bool isShortLetterWord(std::string_view w)
{
    return !w.empty() && w.size() <= 4 && std::all_of(w.begin(), w.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

Classification classifyText(const std::string& text)
{
    const auto spaces = static_cast<int>(std::count(text.begin(), text.end(), ' '));
    Classification c;
    static constexpr std::string_view directed[] = {"CQ DX ", "CQ AF ", "CQ AS ", "CQ EU ",
                                                    "CQ NA ", "CQ SA ", "CQ WW "};
    const bool isDirected =
        std::any_of(std::begin(directed), std::end(directed), [&](std::string_view p) { return startsWith(text, p); });
    if (isDirected || startsWith(text, "CQ TEST ") || startsWith(text, "CQ CMSH ")) {
        c.kind = isDirected ? "DX" : "CQ";
        if (spaces == 2) {
            c.call = after(text, isDirected ? 6 : 8);
        } else if (spaces == 3) {
            c.call = word(text, 3);
            c.locator = last4(text);
        } else if (spaces >= 4) {
            c.call = word(text, 3);
            c.locator = word(text, 4);
        }
    } else if (startsWith(text, "CQ ")) {
        c.kind = "CQ";
        // A CQ directed to a frequency offset, an activity or a region (CQ 290, CQ POTA, CQ JA):
        // word 2 cannot be a callsign, the caller is word 3.
        const std::string w2 = spaces >= 3 ? word(text, 2) : std::string();
        const bool callerIsWord3 = isNumericWord(w2) || isShortLetterWord(w2);
        if (spaces == 1) {
            c.call = after(text, 3);
        } else if (spaces == 2) {
            c.call = word(text, 2);
            c.locator = last4(text);
        } else if (spaces == 3) {
            c.call = word(text, callerIsWord3 ? 3 : 2);
            c.locator = callerIsWord3 ? last4(text) : word(text, 3);
        } else if (spaces >= 4) {
            c.call = word(text, callerIsWord3 ? 3 : 2);
            c.locator = word(text, callerIsWord3 ? 4 : 3);
        }
    } else if (startsWith(text, "QRZ ")) {
        c.kind = "QRZ";
        if (spaces == 1) {
            c.call = after(text, 4);
        } else if (spaces == 2) {
            c.call = word(text, 2);
            c.locator = last4(text);
        } else if (spaces >= 3) {
            c.call = word(text, 2);
            c.locator = word(text, 3);
        }
    } else if (spaces == 2) {
        c.call = word(text, 2);
        const std::string x = word(text, 3);
        if (isValidLocator(x) && x != "RR73") {
            c.locator = x;
            c.kind = "HRD";
        } else {
            c.needsMemory = true;
        }
    }
    return c;
}

DecodeAnalysis::DecodeAnalysis(WindowModel& window, RunState& state, StationMemory& memory, TraceWriter& trace)
    : window_(window), state_(state), memory_(memory), trace_(trace)
{
}

void DecodeAnalysis::handle(const std::string& data, double schema, const Instance& sender)
{
    auto step = [&](auto&& s) { return guarded(trace_, kIntakeFailurePrefix, s); };

    if (!sender.statusSeen) {
        trace_.write("  Still waiting for Frequency/mode");
        return;
    }

    double idLen = 0;
    step([&] { idLen = numberAt(data, 13, 4, false); });
    bool fresh = true;
    step([&] { fresh = byteAt(data, 17 + idLen) == 1; });
    if (!fresh) {
        trace_.write("  Not a new decode");
        return;
    }

    double snr = 0;
    double df = 0;
    double m = 0;
    step([&] { snr = numberAt(data, 22 + idLen, 4, false); });
    step([&] { df = numberAt(data, 34 + idLen, 4, true); });
    step([&] { m = numberAt(data, 38 + idLen, 4, false); });

    std::string modeName;
    std::string modeItem;
    if (schema == 1) {
        step([&] { modeName = slice(data, 42 + idLen, m); });
        modeItem = modeName;
    } else {
        int modeCode = 0;
        step([&] {
            const std::string modeText = slice(data, 42 + idLen, m);
            if (modeText.empty()) {
                failInvalidArgument();
            }
            modeCode = static_cast<unsigned char>(modeText[0]);
        });
        modeName = modeCode == 64 ? "JT9" : modeCode == 35 ? "JT65" : sender.mode;
        modeItem = std::to_string(modeCode);
    }

    double n = 0;
    step([&] { n = numberAt(data, 42 + idLen + m, 4, false); });
    if (!(n > 6)) {
        trace_.write("  Message too short, skip it");
        return;
    }
    std::string text;
    step([&] { text = foldBlanks(slice(data, 46 + idLen + m, n)); });

    const std::string items = " (SNR=" + numberText(snr) + "dB / DF=" + numberText(df) + " / Mode=" + modeItem + ")";
    step([&] {
        if (trace_.enabled()) {
            trace_.write("  MSG_2: *" + text + "*" + items);
        }
    });
    step([&] { window_.dx.appendLine(text + items); });
    if (state_.decodeCount < std::numeric_limits<std::int32_t>::max()) {
        ++state_.decodeCount;
    }
    step([&] { window_.numDecodes.setCaption(std::to_string(state_.decodeCount) + " messages decoded"); });

    Classification c = classifyText(text);
    if (c.needsMemory) {
        const int i = memory_.findStation(c.call);
        if (i > -1) {
            c.locator = memory_.locatorAt(i);
            c.kind = "HRD";
            trace_.write("  Locator " + c.locator + " of " + c.call + " assumed from former spot");
        }
    }

    const bool report =
        c.kind == "CQ" || c.kind == "QRZ" || c.kind == "DX" || (c.kind == "HRD" && !window_.soloCQ.checked());
    if (!report) {
        return;
    }
    if (!isValidLocator(c.locator)) {
        trace_.write("  ** Locator " + c.locator + " not valid");
        window_.dx.appendLine("  ** Locator " + c.locator + " not valid **");
        return;
    }
    // Checked here so that a crafted callsign neither takes a place in the memory nor opens its
    // 15-minute window; a valid locator cannot hold such bytes, nor be longer.
    for (const auto& [label, value, longest] :
         {std::tuple{"callsign", &c.call, kLongestCallsign}, {"mode", &modeName, kLongestMode}}) {
        if (value->size() > longest) {
            trace_.write(std::string("  ** Station not spotted: its ") + label + " is longer than " +
                         std::to_string(longest) + " characters");
            return;
        }
        if (!fitsRecordField(*value)) {
            trace_.write(std::string("  ** Station not spotted: its ") + label + " holds \"|\" or a control character");
            return;
        }
    }
    // Only a program without a window monitors before it knows them; a record needs them.
    if (!ownStationKnown(window_.callsign.text(), window_.locator.text())) {
        trace_.write("  ** Station not spotted: your callsign and locator are not known yet");
        return;
    }
    step([&] { memory_.reportStation(HeardStation{c.call, c.locator, modeName, snr, df, c.kind, sender.qrg}); });
}

} // namespace qf
