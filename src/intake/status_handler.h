// Status messages: the dial frequency and mode shown in the window and kept for the spots, the
// start of the 15-second hold after a frequency change, and the WSPR warning.
#pragma once

#include <functional>
#include <string>

#include "intake/instances.h"
#include "platform/clock.h"
#include "trace/trace_writer.h"
#include "window/run_state.h"
#include "window/window_model.h"

namespace qf {

class StatusHandler {
  public:
    StatusHandler(WindowModel& window, Instances& instances, Clock& clock, TraceWriter& trace);
    void handle(const std::string& datagram, Instance& sender);

    // The operator's own call and grid as the radio program knows them; for fields left empty.
    std::function<void(const Instance& sender, const std::string& call, const std::string& grid)> onOwnStation;

  private:
    WindowModel& window_;
    Instances& instances_;
    Clock& clock_;
    TraceWriter& trace_;
};

} // namespace qf
