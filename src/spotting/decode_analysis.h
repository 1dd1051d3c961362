// Decode messages: the gates, the pane and trace lines, the count, and the classification of
// the decoded text into the calling station, its locator and its kind of call.
#pragma once

#include <string>
#include <string_view>

#include "intake/instances.h"
#include "spotting/spot_sender.h"
#include "spotting/station_memory.h"
#include "trace/trace_writer.h"
#include "window/run_state.h"
#include "window/window_model.h"

namespace qf {

// Trimmed, then every pair of blanks folded to one in a single left-to-right pass.
std::string foldBlanks(std::string_view text);
// word 2 reads completely as a number: optional sign, digits, at most one decimal point.
bool isNumericWord(std::string_view word);
// 1 to 4 letters A-Z: an activity or a region, never a callsign.
bool isShortLetterWord(std::string_view word);

struct Classification {
    std::string kind;
    std::string call;
    std::string locator;
    // "anything else" with two blanks: the locator must come from the station memory.
    bool needsMemory = false;
};
// The prefix table; the memory look-up of the QSO-exchange row is left to the caller.
Classification classifyText(const std::string& text);

class DecodeAnalysis {
  public:
    DecodeAnalysis(WindowModel& window, RunState& state, StationMemory& memory, TraceWriter& trace);
    // The frequency, the mode and the 15 s hold are those of the instance that decoded it.
    void handle(const std::string& datagram, double schema, const Instance& sender);

  private:
    WindowModel& window_;
    RunState& state_;
    StationMemory& memory_;
    TraceWriter& trace_;
};

} // namespace qf
