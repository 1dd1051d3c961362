// What one relay target has done this run, for the status page: plain counts, kept where it happens.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace qf {

struct RelayTally {
    std::uint64_t relayed = 0; // datagrams handed to its socket without a failure
    std::uint64_t errors = 0;
    std::string lastError; // "10061 - Connection refused"
    DateTime lastErrorAt;
    // Its answers: passed back to a radio program, or not (for whatever reason, the option off too).
    std::uint64_t repliesPassed = 0;
    std::uint64_t repliesRefused = 0;

    void failed(std::string what, const DateTime& at)
    {
        ++errors;
        lastError = std::move(what);
        lastErrorAt = at;
    }
};

} // namespace qf
