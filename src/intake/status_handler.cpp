#include "intake/status_handler.h"

#include <algorithm>

#include "intake/datagram_intake.h"
#include "intake/wire_reader.h"
#include "trace/failure_rule.h"

namespace qf {

StatusHandler::StatusHandler(WindowModel& window, RunState& state, Clock& clock, TraceWriter& trace)
    : window_(window), state_(state), clock_(clock), trace_(trace)
{
}

void StatusHandler::handle(const std::string& data)
{
    auto step = [&](auto&& s) { return guarded(trace_, kIntakeFailurePrefix, s); };
    double idLen = 0;
    double modeLength = 0;
    std::string mode;
    std::string frequency;
    std::string note;

    step([&] { idLen = numberAt(data, 13, 4, false); });
    step([&] { state_.currentQrg = numberAt(data, 17 + idLen, 8, true); });
    step([&] { modeLength = numberAt(data, 25 + idLen, 4, false); });
    step([&] { mode = slice(data, 29 + idLen, modeLength); });
    step([&] {
        frequency = formatQrg(state_.currentQrg);
        std::replace(frequency.begin(), frequency.end(), ',', '.');
    });
    step([&] {
        if (window_.qrg.caption() != frequency) {
            state_.lastQrgChange = clock_.now();
            note = "QRG changed";
        } else {
            note = "QRG not changed";
        }
    });
    step([&] { window_.qrg.setCaption(frequency); });
    step([&] { window_.mode.setCaption(mode); });
    step([&] {
        if (mode == "WSPR") {
            window_.dx.appendLine(
                "** Quillfeed is not for WSPR. Orbalis already take WSPR spots from the WSPR network");
        }
    });
    step([&] { trace_.write("  MSG_1: QRG=" + window_.qrg.caption() + " / Mode=" + mode + " (" + note + ")"); });
}

} // namespace qf
