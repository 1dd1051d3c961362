#include "monitor/monitoring_control.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "platform/failure.h"
#include "platform/socket_errors.h"
#include "settings/dotted_address.h"
#include "settings/leading_number.h"
#include "spotting/locator.h"
#include "trace/failure_rule.h"

namespace qf {
namespace {

constexpr int kWatchdogMs = 60000;
constexpr int kRestartPauseMs = 5000;
constexpr int kInvalidArgument = kInvalidSocketArgument;

int portOf(const std::string& text)
{
    const auto port = portFromText(text);
    if (!port) {
        throw Failure(kInvalidArgument, "Port number " + text + " is out of range (0 to 65535)");
    }
    return *port;
}

// Blanks around a typed text are a slip of the hand; blanks inside it are not.
std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The port to listen on: a whole number from 1 to 65535 and nothing else. Port 0 would let the
// system pick one that no sender knows.
std::optional<int> listenPortFrom(std::string_view text)
{
    text = trimmed(text);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view digits = text.substr(std::min(text.find_first_not_of('0'), text.size()));
    if (digits.empty() || digits.size() > 5) {
        return std::nullopt;
    }
    int port = 0;
    for (const char c : digits) {
        port = port * 10 + (c - '0');
    }
    if (port > 65535) {
        return std::nullopt;
    }
    return port;
}

// 224.0.0.0 to 239.255.255.255.
std::optional<std::string> multicastGroupFrom(std::string_view text)
{
    const auto dotted = dottedAddressFrom(text);
    if (!dotted || dotted->first < 224 || dotted->first > 239) {
        return std::nullopt;
    }
    return dotted->text;
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
    const bool checked = !ownStationMayWait_;
    if (checked && window_.callsign.text().size() < 3) {
        dialogs_.showMessage("You must enter a valid callsign or station id");
        relaySetUp();
        return;
    }
    if (checked && !isValidLocator6(window_.locator.text())) {
        dialogs_.showMessage("You must enter a valid locator/grid square, 6 characters long (JM19HN, EM23LA...)");
        relaySetUp();
        return;
    }
    const std::optional<int> port = listenPortFrom(window_.udpPort.text());
    if (!port) {
        refuse("\"" + window_.udpPort.text() + "\" is not a UDP port",
               "Enter a whole number from 1 to 65535 as the UDP port to monitor");
        return;
    }
    const bool unicast = trimmed(window_.multicastGroup.text()).empty();
    const std::optional<std::string> group =
        unicast ? std::string() : multicastGroupFrom(window_.multicastGroup.text());
    if (!group) {
        refuse("\"" + window_.multicastGroup.text() + "\" is not a multicast group",
               "Enter an IPv4 address from 224.0.0.0 to 239.255.255.255 as the multicast group, or leave it blank "
               "for unicast");
        return;
    }
    const std::string listenText(trimmed(window_.listenAddress()));
    const std::optional<DottedAddress> listen = listenText.empty() ? DottedAddress{} : dottedAddressFrom(listenText);
    if (!listen || (!listenText.empty() && !(isOwnAddress && isOwnAddress(listen->text)))) {
        // An address that comes later (an interface not up yet) is waited for like a port in use.
        refuse("\"" + listenText + "\" is not an address of this computer",
               "Set ListenAddress to one of this computer's IPv4 addresses (127.0.0.1: only from this computer), "
               "or leave it empty to listen on all of them");
        if (onBindFailed) {
            onBindFailed(kAddressNotAvailable, "Cannot assign requested address (" + listenText + ")");
        }
        return;
    }
    try {
        // With one address, a group socket is bound to the group: datagrams sent to the port from
        // any other interface stay out, as they do for a unicast one.
        receiveSocket_.bind(*port, !unicast, unicast || listen->text.empty() ? listen->text : *group);
    } catch (const Failure& f) {
        trace_.write(failureLine("CStart: Error in Winsock1: ", f.code, f.description));
        guarded(trace_, "CStart: Error in Winsock1: ", [&] { receiveSocket_.close(); });
        const std::string& portText = window_.udpPort.text();
        if (f.code == kAddressInUse && unicast) {
            dialogs_.showMessage("UDP port " + portText +
                                 " is in use. Make sure that another copy of Quillfeed is not already running and "
                                 "that no other application is using that port");
        } else if (f.code == kAddressInUse) {
            dialogs_.showMessage(
                "UDP port " + portText +
                " is in use. Make sure that Quillfeed is the first program that joins multicast group " +
                window_.multicastGroup.text());
        } else {
            dialogs_.showMessage(failureLine("Error in socket bind: ", f.code, f.description));
        }
        if (onBindFailed) {
            onBindFailed(f.code, f.description);
        }
        return;
    }

    auto step = [&](auto&& s) { guarded(trace_, "CStart: Error in Winsock1: ", s); };
    if (!unicast) {
        // A group that cannot be joined is ignored: monitoring runs without group traffic.
        step([&] { receiveSocket_.joinMulticastGroup(*group, listen->text); });
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
    window_.onlyLocal.setEnabled(false);
    relaySetUp();
    if (onStarted) {
        onStarted(restarting_);
    }
}

// A text that cannot be monitored is refused before anything is bound, like the callsign and locator.
void MonitoringControl::refuse(const std::string& what, const std::string& advice)
{
    trace_.write(failureLine("CStart: Error in Winsock1: ", kInvalidArgument, what));
    dialogs_.showMessage(what + ". " + advice);
    relaySetUp();
}

void MonitoringControl::stop()
{
    guarded(trace_, "CStart: Error in Winsock1: ", [&] { receiveSocket_.close(); });
    window_.start.setCaption(kStartCaption);
    for (TextField* f : {&window_.callsign, &window_.locator, &window_.udpPort, &window_.multicastGroup,
                         &window_.servIP, &window_.servPort, &window_.moreRelays}) {
        f->setEnabled(true);
    }
    window_.onlyLocal.setEnabled(true);
    watchdog_.setEnabled(false);
    relaySetUp();
}

void MonitoringControl::relaySetUp()
{
    const OwnIntake intake = ownIntake();
    state_.ownPortTargets.clear();
    mainRelaySetUp(intake);
    extraRelays_.setUp(monitoring(), [&](const std::string& item, const std::string& host, int port) {
        return leftOut(intake, item, host, port);
    });
}

// What the settings make the receive socket listen on, whether or not it is listening now.
OwnIntake MonitoringControl::ownIntake() const
{
    OwnIntake intake;
    intake.port = listenPortFrom(window_.udpPort.text()).value_or(0);
    if (!trimmed(window_.multicastGroup.text()).empty()) {
        intake.group = multicastGroupFrom(window_.multicastGroup.text()).value_or("");
    }
    if (const auto listen = dottedAddressFrom(window_.listenAddress())) {
        intake.listenAddress = listen->text;
    }
    return intake;
}

// A datagram sent to the program's own intake would come back to be relayed again, without end.
bool MonitoringControl::leftOut(const OwnIntake& intake, const std::string& target, const std::string& host, int port)
{
    if (!isOwnIntake(intake, std::string(trimmed(host)), port, isOwnAddress)) {
        return false;
    }
    state_.ownPortTargets.push_back(target);
    if (monitoring()) {
        trace_.write(ownPortText(target));
    }
    return true;
}

void MonitoringControl::mainRelaySetUp(const OwnIntake& intake)
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
        const int port = portOf(window_.servPort.text());
        if (leftOut(intake, window_.servIP.text() + ":" + window_.servPort.text(), window_.servIP.text(), port)) {
            return;
        }
        relaySocket_.setRemotePort(port);
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
