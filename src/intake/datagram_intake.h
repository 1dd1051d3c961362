// Takes each datagram that arrives on the receive socket: shows it, traces it, relays it
// unchanged, checks the WSJT-X header and dispatches it by message type.
#pragma once

#include <functional>
#include <string>

#include "intake/instances.h"
#include "platform/clock.h"
#include "platform/udp_socket.h"
#include "relay/extra_relays.h"
#include "relay/loop_guard.h"
#include "relay/relay_tally.h"
#include "trace/trace_writer.h"
#include "window/run_state.h"
#include "window/window_model.h"

namespace qf {

inline constexpr const char* kIntakeFailurePrefix = "Winsock1.DataArrival: ** Error ";

// The handlers of message types 1, 2 and 5, given the instance that sent the datagram. An empty
// one leaves its type discarded.
struct MessageHandlers {
    std::function<void(const std::string& datagram, Instance& sender)> status;
    std::function<void(const std::string& datagram, double schema, Instance& sender)> decode;
    std::function<void(const std::string& datagram, double schema)> qsoLogged;
};

// Starts with the WSJT-X magic number.
bool isWsjtxMessage(std::string_view datagram);
// The Id of a WSJT-X header, byte for byte; empty when the header has none (a null or negative length).
std::string_view headerId(std::string_view datagram);

class DatagramIntake {
  public:
    DatagramIntake(WindowModel& window, RunState& state, Instances& instances, UdpSocket& receiveSocket,
                   UdpSocket& relaySocket, ExtraRelays& extraRelays, Clock& clock, TraceWriter& trace);

    void setHandlers(MessageHandlers handlers) { handlers_ = std::move(handlers); }
    // Where the main relay's sends and failures are counted; none when null.
    RelayTally* mainRelayTally = nullptr;
    // Drops the copies of a datagram that come round again; none when null.
    LoopGuard* loopGuard = nullptr;
    // The arrival event of the receive socket; the byte count is not used.
    void onArrival();

  private:
    template <typename Step> bool step(Step&& s);
    void relay(const std::string& datagram);
    void traceRefusal(const Instances::Admission& refused, std::string_view id, const UdpSocket::Peer& from);
    void dispatch(const std::string& datagram, double type, double schema, Instance& sender);

    WindowModel& window_;
    RunState& state_;
    Instances& instances_;
    UdpSocket& receiveSocket_;
    UdpSocket& relaySocket_;
    ExtraRelays& extraRelays_;
    Clock& clock_;
    TraceWriter& trace_;
    MessageHandlers handlers_;
};

} // namespace qf
