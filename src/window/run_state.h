// Window-wide values that live as long as the window and are shared between behaviours.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace qf {

struct RunState {
    bool isLoading = false;
    std::string versionText;
    std::string settingsPath;

    DateTime lastFrameTime; // end of the last handled datagram; read by the watchdog
    DateTime lastQrgChange; // last change of the shown dial frequency
    double currentQrg = 0;  // dial frequency in Hz of the last Status message

    std::int32_t decodeCount = 0;
    std::int64_t spotCount = 0;
    DateTime spotsSince;
};

} // namespace qf
