// Window-wide values that live as long as the window and are shared between behaviours.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace qf {

struct RunState {
    bool isLoading = false;
    std::string versionText;
    std::string settingsPath;

    DateTime lastFrameTime;    // end of the last handled datagram; read by the watchdog
    DateTime lastDatagramTime; // the same, but not moved by a start of monitoring
    // The program's start, which counts as a frequency change for every radio program heard
    // (each keeps its own last change, src/intake/instances.h).
    DateTime lastQrgChange;
    // The relay socket's last set-up succeeded: until one does, nothing is relayed through it.
    bool relayReady = false;
    // The relay targets of the last set-up that are the program's own intake, as written: not used.
    std::vector<std::string> ownPortTargets;

    std::int32_t decodeCount = 0;
    std::int64_t spotCount = 0;
    DateTime spotsSince;
};

} // namespace qf
