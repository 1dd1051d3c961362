// The start/stop button: the checks before starting, the receive socket's bind and multicast
// membership, the relay socket set-up after every press, and the receive watchdog.
#pragma once

#include <functional>
#include <string>

#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/pause.h"
#include "platform/timer.h"
#include "platform/udp_socket.h"
#include "relay/extra_relays.h"
#include "relay/loop_guard.h"
#include "trace/trace_writer.h"
#include "window/run_state.h"
#include "window/window_model.h"

namespace qf {

class MonitoringControl {
  public:
    MonitoringControl(WindowModel& window, RunState& state, UdpSocket& receiveSocket, UdpSocket& relaySocket,
                      ExtraRelays& extraRelays, Timer& watchdog, Pause& pause, Clock& clock, Dialogs& dialogs,
                      TraceWriter& trace);

    bool monitoring() const;
    void clickStart();
    void watchdogTick();

    // Without a window nobody can type a callsign or locator: monitoring starts without them, the
    // relay works, and spots and QSO uploads wait until a Status of WSJT-X gives them.
    void letOwnStationWait(bool wait) { ownStationMayWait_ = wait; }
    // Whether a dotted address is one of this machine's, for the window's listen address.
    std::function<bool(const std::string& dotted)> isOwnAddress;

    // Told when monitoring has started (by the watchdog's restart or not), and when a start failed
    // at the bind (the port is taken).
    std::function<void(bool restart)> onStarted;
    std::function<void(int code, const std::string& description)> onBindFailed;

  private:
    void start();
    void refuse(const std::string& what, const std::string& advice);
    void stop();
    void relaySetUp();
    void mainRelaySetUp(const OwnIntake& intake);
    OwnIntake ownIntake() const;
    bool leftOut(const OwnIntake& intake, const std::string& target, const std::string& host, int port);
    bool restarting_ = false;
    bool ownStationMayWait_ = false;

    WindowModel& window_;
    RunState& state_;
    UdpSocket& receiveSocket_;
    UdpSocket& relaySocket_;
    ExtraRelays& extraRelays_;
    Timer& watchdog_;
    Pause& pause_;
    Clock& clock_;
    Dialogs& dialogs_;
    TraceWriter& trace_;
};

} // namespace qf
