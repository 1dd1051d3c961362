// Builds, counts, shows and queues one spot record per reported station; the drain timer sends
// the whole queue, one datagram per record, to the spot service, never later than 50 s after the
// oldest record was queued, and a full queue goes at once.
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
    // Sends every queued record as the tick does, oldest first, one datagram each, and empties the
    // queue; the timer is left alone.
    void sendQueue();

    // The longest a record waits for its batch, and the queue that is sent without waiting.
    static constexpr std::int64_t kLongestWaitMs = 50000;
    static constexpr std::size_t kQueueLimit = 2000;

    // Told after a batch of which at least one record was sent, then of each send that failed at once.
    std::function<void()> onBatchSent;
    std::function<void(int code, const std::string& description)> onSendFailed;

    const std::vector<std::string>& queue() const { return queue_; }

    // Told of each station queued, after its record.
    std::function<void(const HeardStation&)> onQueued;
    // The last batch that held records: when, how many, how many left without a failure.
    struct Batch {
        DateTime at;
        std::size_t records = 0;
        std::size_t sent = 0;
    };
    const Batch& lastBatch() const { return lastBatch_; }
    // Records sent without a failure this run.
    std::uint64_t recordsSent() const { return recordsSent_; }

  private:
    std::string paneLine(const HeardStation& s, const std::string& q, const std::string& snr, const std::string& df);
    void armDrainTimer(std::int64_t nowMs);
    std::int64_t clockMs();
    void traceEarlySend(const std::string& why);

    WindowModel& window_;
    RunState& state_;
    Clock& clock_;
    Regional& regional_;
    TraceWriter& trace_;
    UdpSocket& spotSocket_;
    Timer& drainTimer_;
    std::function<std::size_t()> stationCount_;
    std::vector<std::string> queue_;
    // Clock readings in ms: when the oldest queued record was queued, and the latest reading.
    std::int64_t oldestMs_ = 0;
    std::int64_t lastReadingMs_ = 0;
    // The interval drawn at the last spot, and whether the 50 s bound shortened it.
    int drawnMs_ = 0;
    bool boundDecides_ = false;
    std::mt19937 random_;
    DateTime sinceTextOf_;
    std::string sinceText_;
    Batch lastBatch_;
    std::uint64_t recordsSent_ = 0;
};

} // namespace qf
