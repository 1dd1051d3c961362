#include "intake/status_handler.h"

#include <algorithm>

#include "intake/datagram_intake.h"
#include "intake/wire_reader.h"
#include "trace/escaped.h"
#include "trace/failure_rule.h"

namespace qf {
namespace {

struct OwnStation {
    std::string call;
    std::string grid;
};

// The DE call and DE grid that follow the mode: DX call, report and Tx mode (texts), three flags,
// Rx and Tx audio offsets, then the two. Read without trusting a length; a message that ends or
// is not laid out so gives nothing.
OwnStation ownStationOf(std::string_view data, double afterMode)
{
    if (!(afterMode >= 1) || afterMode > static_cast<double>(data.size()) + 1) {
        return {};
    }
    std::size_t p = static_cast<std::size_t>(afterMode) - 1;
    bool ok = true;
    auto text = [&]() -> std::string {
        if (!ok || data.size() - p < 4) {
            ok = false;
            return {};
        }
        const double length = bytesToNumber(data.substr(p, 4), false);
        p += 4;
        if (length <= 0) {
            return {};
        }
        if (length > static_cast<double>(data.size() - p)) {
            ok = false;
            return {};
        }
        const std::string t(data.substr(p, static_cast<std::size_t>(length)));
        p += static_cast<std::size_t>(length);
        return t;
    };
    auto skip = [&](std::size_t bytes) {
        if (!ok || data.size() - p < bytes) {
            ok = false;
        } else {
            p += bytes;
        }
    };
    text(); // DX call
    text(); // report
    text(); // Tx mode
    skip(3 + 4 + 4);
    OwnStation own;
    own.call = text();
    own.grid = text();
    return ok ? own : OwnStation{};
}

} // namespace

StatusHandler::StatusHandler(WindowModel& window, Instances& instances, Clock& clock, TraceWriter& trace)
    : window_(window), instances_(instances), clock_(clock), trace_(trace)
{
}

void StatusHandler::handle(const std::string& data, Instance& sender)
{
    auto step = [&](auto&& s) { return guarded(trace_, kIntakeFailurePrefix, s); };
    double idLen = 0;
    double modeLength = 0;
    std::string mode;
    std::string frequency;
    std::string note;

    step([&] { idLen = numberAt(data, 13, 4, false); });
    step([&] { sender.qrg = numberAt(data, 17 + idLen, 8, true); });
    step([&] { modeLength = numberAt(data, 25 + idLen, 4, false); });
    step([&] { mode = slice(data, 29 + idLen, modeLength); });
    step([&] {
        frequency = formatQrg(sender.qrg);
        std::replace(frequency.begin(), frequency.end(), ',', '.');
    });
    // Each radio program's frequency is compared with its own last one, so two radios on two bands
    // do not hold each other's decodes back.
    step([&] {
        if (sender.qrgText != frequency) {
            sender.lastQrgChange = clock_.now();
            note = "QRG changed";
        } else {
            note = "QRG not changed";
        }
    });
    step([&] {
        window_.qrg.setCaption(frequency);
        sender.qrgText = frequency;
        sender.statusSeen = true;
    });
    step([&] {
        window_.mode.setCaption(mode);
        sender.mode = mode;
    });
    step([&] {
        if (mode == "WSPR") {
            window_.dx.appendLine(
                "** Quillfeed is not for WSPR. Orbalis already take WSPR spots from the WSPR network");
        }
    });
    step([&] {
        // With two radios a trace must say which one this was.
        const std::string who = instances_.size() > 1 ? " / Id=" + escapeControlBytes(sender.id) : "";
        trace_.write("  MSG_1: QRG=" + window_.qrg.caption() + " / Mode=" + mode + " (" + note + ")" + who);
    });
    if (onOwnStation) {
        const OwnStation own = ownStationOf(data, 29 + idLen + std::max(0.0, modeLength));
        if (!own.call.empty() || !own.grid.empty()) {
            onOwnStation(sender, own.call, own.grid);
        }
    }
}

} // namespace qf
