// Takes each datagram that arrives on the receive socket: shows it, traces it, relays it
// unchanged, checks the WSJT-X header and dispatches it by message type.
#pragma once

#include <functional>
#include <string>

#include "platform/clock.h"
#include "platform/udp_socket.h"
#include "relay/extra_relays.h"
#include "trace/trace_writer.h"
#include "window/run_state.h"
#include "window/window_model.h"

namespace qf {

inline constexpr const char* kIntakeFailurePrefix = "Winsock1.DataArrival: ** Error ";

// The handlers of message types 1, 2 and 5. An empty one leaves its type discarded.
struct MessageHandlers {
    std::function<void(const std::string& datagram)> status;
    std::function<void(const std::string& datagram, double schema)> decode;
    std::function<void(const std::string& datagram, double schema)> qsoLogged;
};

class DatagramIntake {
  public:
    DatagramIntake(WindowModel& window, RunState& state, UdpSocket& receiveSocket, UdpSocket& relaySocket,
                   ExtraRelays& extraRelays, Clock& clock, TraceWriter& trace);

    void setHandlers(MessageHandlers handlers) { handlers_ = std::move(handlers); }
    // The arrival event of the receive socket; the byte count is not used.
    void onArrival();

  private:
    template <typename Step> bool step(Step&& s);
    void relay(const std::string& datagram);
    void dispatch(const std::string& datagram, double type, double schema);

    WindowModel& window_;
    RunState& state_;
    UdpSocket& receiveSocket_;
    UdpSocket& relaySocket_;
    ExtraRelays& extraRelays_;
    Clock& clock_;
    TraceWriter& trace_;
    MessageHandlers handlers_;
};

} // namespace qf
