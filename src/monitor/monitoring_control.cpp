#include "monitor/monitoring_control.h"

#include "platform/failure.h"
#include "settings/leading_number.h"
#include "spotting/locator.h"
#include "trace/failure_rule.h"

namespace qf {
namespace {

constexpr int kWatchdogMs = 60000;
constexpr int kRestartPauseMs = 5000;
constexpr int kAddressInUse = 10048;
constexpr int kInvalidArgument = 10022;

int portOf(const std::string& text)
{
    const auto port = portFromText(text);
    if (!port) {
        throw Failure(kInvalidArgument, "Port number " + text + " is out of range (0 to 65535)");
    }
    return *port;
}

} // namespace

MonitoringControl::MonitoringControl(WindowModel& window, RunState& state, UdpSocket& receiveSocket,
                                     UdpSocket& relaySocket, ExtraRelays& extraRelays, Timer& watchdog, Pause& pause,
                                     Clock& clock, Dialogs& dialogs, TraceWriter& trace)
    : window_(window), state_(state), receiveSocket_(receiveSocket), relaySocket_(relaySocket),
      extraRelays_(extraRelays), watchdog_(watchdog), pause_(pause), clock_(clock), dialogs_(dialogs), trace_(trace)
{
    watchdog_.setInterval(kWatchdogMs);
    watchdog_.onTick = [this] { watchdogTick(); };
}

bool MonitoringControl::monitoring() const
{
    return window_.start.caption() == kStopCaption;
}

void MonitoringControl::clickStart()
{
    if (window_.start.caption() == kStartCaption) {
        start();
    } else {
        stop();
    }
}

void MonitoringControl::start()
{
    if (window_.callsign.text().size() < 3) {
        dialogs_.showMessage("You must enter a valid callsign or station id");
        relaySetUp();
        return;
    }
    if (!isValidLocator6(window_.locator.text())) {
        dialogs_.showMessage("You must enter a valid locator/grid square, 6 characters long (JM19HN, EM23LA...)");
        relaySetUp();
        return;
    }
    const std::string& group = window_.multicastGroup.text();
    try {
        receiveSocket_.bind(portOf(window_.udpPort.text()), !group.empty());
    } catch (const Failure& f) {
        trace_.write(failureLine("CStart: Error in Winsock1: ", f.code, f.description));
        guarded(trace_, "CStart: Error in Winsock1: ", [&] { receiveSocket_.close(); });
        const std::string& port = window_.udpPort.text();
        if (f.code == kAddressInUse && group.empty()) {
            dialogs_.showMessage("UDP port " + port +
                                 " is in use. Make sure that another copy of Quillfeed is not already running and "
                                 "that no other application is using that port");
        } else if (f.code == kAddressInUse) {
            dialogs_.showMessage(
                "UDP port " + port +
                " is in use. Make sure that Quillfeed is the first program that joins multicast group " + group);
        } else {
            dialogs_.showMessage(failureLine("Error in socket bind: ", f.code, f.description));
        }
        if (onBindFailed) {
            onBindFailed(f.code, f.description);
        }
        return;
    }

    auto step = [&](auto&& s) { guarded(trace_, "CStart: Error in Winsock1: ", s); };
    if (!group.empty()) {
        // A group that cannot be joined is ignored: monitoring runs without group traffic.
        step([&] { receiveSocket_.joinMulticastGroup(group); });
    }
    window_.start.setCaption(kStopCaption);
    window_.callsign.setEnabled(false);
    window_.locator.setEnabled(false);
    window_.udpPort.setEnabled(false);
    state_.lastFrameTime = clock_.now();
    watchdog_.setEnabled(true);
    window_.multicastGroup.setEnabled(false);
    window_.servIP.setEnabled(false);
    window_.servPort.setEnabled(false);
    window_.moreRelays.setEnabled(false);
    relaySetUp();
    if (onStarted) {
        onStarted(restarting_);
    }
}

void MonitoringControl::stop()
{
    guarded(trace_, "CStart: Error in Winsock1: ", [&] { receiveSocket_.close(); });
    window_.start.setCaption(kStartCaption);
    for (TextField* f : {&window_.callsign, &window_.locator, &window_.udpPort, &window_.multicastGroup,
                         &window_.servIP, &window_.servPort, &window_.moreRelays}) {
        f->setEnabled(true);
    }
    watchdog_.setEnabled(false);
    relaySetUp();
}

void MonitoringControl::relaySetUp()
{
    mainRelaySetUp();
    extraRelays_.setUp(monitoring());
}

void MonitoringControl::mainRelaySetUp()
{
    try {
        relaySocket_.close();
    } catch (const Failure&) {
        // A failure to close is of no consequence: the next send reopens the socket.
    }
    state_.relayReady = false;
    if (window_.servPort.text().empty() || window_.servIP.text().empty()) {
        return;
    }
    try {
        relaySocket_.setRemotePort(portOf(window_.servPort.text()));
        relaySocket_.setRemoteHost(window_.servIP.text());
        relaySocket_.bind(0);
        state_.relayReady = true;
    } catch (const Failure& f) {
        // The socket may keep the host and port of an earlier set-up: the intake relays nothing
        // through it until a set-up succeeds.
        trace_.write(failureLine("CStart: Error in WinsockServ: ", f.code, f.description));
    }
}

void MonitoringControl::watchdogTick()
{
    if (wholeMinutesBetween(state_.lastFrameTime, clock_.now()) > 5 && monitoring()) {
        trace_.write("** More than 5 minutes since last frame was received. Force restart monitoring **");
        clickStart();
        pause_.start(kRestartPauseMs, [this] {
            restarting_ = true;
            clickStart();
            restarting_ = false;
        });
    }
}

} // namespace qf
