// Builds, counts, shows and queues one spot record per reported station; the drain timer sends
// the whole queue, one datagram per record, to the spot service.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/regional.h"
#include "platform/timer.h"
#include "platform/udp_socket.h"
#include "service/service.h"
#include "trace/trace_writer.h"
#include "window/run_state.h"
#include "window/window_model.h"

namespace qf {

// A station worth reporting, as decode analysis hands it on.
struct HeardStation {
    std::string call;
    std::string locator;
    std::string mode;
    double snr = 0;
    double df = 0;
    std::string kind;
    double qrg = 0; // the dial frequency of the radio program that decoded it
};

class SpotSender {
  public:
    SpotSender(WindowModel& window, RunState& state, Clock& clock, Regional& regional, TraceWriter& trace,
               UdpSocket& spotSocket, Timer& drainTimer);

    // The number of stations in memory, shown in the counter line.
    void setStationCount(std::function<std::size_t()> count) { stationCount_ = std::move(count); }

    void sendSpot(const HeardStation& s);
    void addSpotLine(const std::string& line);
    // The tick of the drain timer.
    void sendSpotFromTimer();

    // Told after a batch of records was sent.
    std::function<void()> onBatchSent;

    const std::vector<std::string>& queue() const { return queue_; }

  private:
    std::string paneLine(const HeardStation& s, const std::string& q, const std::string& snr, const std::string& df);
    void armDrainTimer();

    WindowModel& window_;
    RunState& state_;
    Clock& clock_;
    Regional& regional_;
    TraceWriter& trace_;
    UdpSocket& spotSocket_;
    Timer& drainTimer_;
    std::function<std::size_t()> stationCount_;
    std::vector<std::string> queue_;
    std::mt19937 random_;
    DateTime sinceTextOf_;
    std::string sinceText_;
};

} // namespace qf
