// Status messages: the dial frequency and mode shown in the window and kept for the spots, the
// start of the 15-second hold after a frequency change, and the WSPR warning.
#pragma once

#include <string>

#include "platform/clock.h"
#include "trace/trace_writer.h"
#include "window/run_state.h"
#include "window/window_model.h"

namespace qf {

class StatusHandler {
  public:
    StatusHandler(WindowModel& window, RunState& state, Clock& clock, TraceWriter& trace);
    void handle(const std::string& datagram);

  private:
    WindowModel& window_;
    RunState& state_;
    Clock& clock_;
    TraceWriter& trace_;
};

} // namespace qf
