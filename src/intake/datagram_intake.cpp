#include "intake/datagram_intake.h"

#include "intake/wire_reader.h"
#include "trace/escaped.h"
#include "trace/failure_rule.h"

namespace qf {
namespace {

constexpr char kMagic[] = "\xAD\xBC\xCB\xDA";
constexpr int kStatus = 1;
constexpr int kDecode = 2;
constexpr int kQsoLogged = 5;
constexpr int kClose = 6;
// Decodes are held back this many seconds after the shown frequency changed.
constexpr int kQrgHoldSeconds = 15;

constexpr std::size_t kIdLengthAt = 12; // 0-based
constexpr std::size_t kIdAt = 16;

std::string peerText(const UdpSocket::Peer& peer)
{
    return peer.address + ":" + std::to_string(peer.port);
}

} // namespace

bool isWsjtxMessage(std::string_view datagram)
{
    return datagram.substr(0, 4) == std::string_view(kMagic, 4);
}

std::string_view headerId(std::string_view datagram)
{
    if (datagram.size() < kIdAt) {
        return {};
    }
    const double length = bytesToNumber(datagram.substr(kIdLengthAt, 4), false);
    if (!(length > 0)) {
        return {};
    }
    return datagram.substr(kIdAt, static_cast<std::size_t>(length));
}

DatagramIntake::DatagramIntake(WindowModel& window, RunState& state, Instances& instances, UdpSocket& receiveSocket,
                               UdpSocket& relaySocket, ExtraRelays& extraRelays, Clock& clock, TraceWriter& trace)
    : window_(window), state_(state), instances_(instances), receiveSocket_(receiveSocket), relaySocket_(relaySocket),
      extraRelays_(extraRelays), clock_(clock), trace_(trace)
{
}

template <typename Step> bool DatagramIntake::step(Step&& s)
{
    return guarded(trace_, kIntakeFailurePrefix, std::forward<Step>(s));
}

void DatagramIntake::onArrival()
{
    trace_.write("Entering Winsock1.DataArrival");
    std::string data;
    const bool taken = step([&] { data = receiveSocket_.getData(); });
    if (taken && loopGuard != nullptr && !loopGuard->admit(data, receiveSocket_.lastSender())) {
        return;
    }

    step([&] { window_.log.clearIfOverLimit(); });
    step([&] {
        window_.log.appendLine(trimBlanks(printableText(data)));
        window_.log.moveCaretToEnd();
    });
    if (trace_.enabled()) {
        step([&] { trace_.write("Rcvd *" + data + "*"); });
        step([&] { trace_.write("  [" + hexText(data) + "]"); });
    }
    relay(data);
    step([&] { window_.dx.clearIfOverLimit(); });

    bool wsjtx = true;
    step([&] {
        if (!isWsjtxMessage(data)) {
            const std::string head = slice(data, std::int64_t{1}, 4);
            wsjtx = false;
            const std::string text = "Message ID (" + hexText(head) + ") does not correspond to WSJT-X";
            window_.dx.appendLine(text);
            trace_.write("  " + text);
        }
    });
    double schema = 0;
    Instance* sender = nullptr;
    if (wsjtx) {
        step([&] { schema = numberAt(data, 5, 4, false); });
        step([&] {
            if (schema != 1 && schema != 2 && schema != 3) {
                wsjtx = false;
                const std::string text = "Message schema (" + numberText(schema) + ") does not correspond to WSJT-X";
                trace_.write("  " + text);
                window_.dx.appendLine(text);
            }
        });
    }
    if (wsjtx) {
        double type = 0;
        step([&] { type = numberAt(data, 9, 4, false); });
        step([&] {
            window_.log.append(" [MSG:" + numberText(type) + "]");
            window_.log.moveCaretToEnd();
        });
        const UdpSocket::Peer from = receiveSocket_.lastSender();
        const Instances::Admission admission =
            instances_.admit(headerId(data), from, clock_.now(), state_.lastQrgChange);
        sender = admission.instance;
        if (sender == nullptr) {
            // Shown, traced and relayed like any datagram, but it acts for nobody.
            if (admission.news) {
                step([&] { traceRefusal(admission, headerId(data), from); });
            }
        } else {
            // A radio program that closes lets its Id go at once, so that it may come back from
            // another port when it starts again.
            sender->closed = type == kClose;
            dispatch(data, type, schema, *sender);
        }
    }

    step([&] { window_.dx.moveCaretToEnd(); });
    step([&] {
        state_.lastFrameTime = clock_.now();
        state_.lastDatagramTime = state_.lastFrameTime;
        if (sender != nullptr) {
            sender->lastHeard = state_.lastFrameTime;
        }
    });
}

void DatagramIntake::traceRefusal(const Instances::Admission& refused, std::string_view id, const UdpSocket::Peer& from)
{
    const std::string head = "  Not taken from " + peerText(from) + ": ";
    if (refused.owner != nullptr) {
        trace_.write(head + "Id " + escapeControlBytes(id) + " belongs to " + peerText(refused.owner->from) +
                     ", heard within " + std::to_string(Instances::kHoldSeconds) + " s");
    } else {
        trace_.write(head + std::to_string(Instances::kMaxInstances) + " radio programs heard within " +
                     std::to_string(Instances::kHoldSeconds) + " s, no room for Id " + escapeControlBytes(id));
    }
}

void DatagramIntake::relay(const std::string& datagram)
{
    if (window_.servPort.text().empty() || window_.servIP.text().empty()) {
        return;
    }
    // After a set-up that failed the socket still holds its old target: nothing goes there.
    if (state_.relayReady) {
        const bool tracing = trace_.enabled();
        if (tracing) {
            trace_.write("    WinsockServ.Close");
        }
        step([&] { relaySocket_.close(); });
        if (tracing) {
            trace_.write("    WinsockServ.SendData");
        }
        std::string failure;
        const bool sent = guarded(
            trace_, kIntakeFailurePrefix, [&] { relaySocket_.sendData(datagram); }, &failure);
        if (mainRelayTally != nullptr && sent) {
            ++mainRelayTally->relayed;
        } else if (mainRelayTally != nullptr) {
            mainRelayTally->failed(std::move(failure), clock_.now());
        }
    }
    // The further targets go with the main relay: an empty relay field relays nothing at all.
    extraRelays_.relay(datagram);
}

void DatagramIntake::dispatch(const std::string& datagram, double type, double schema, Instance& sender)
{
    bool handled = false;
    step([&] {
        if (type == kStatus && handlers_.status) {
            handled = true;
            handlers_.status(datagram, sender);
        } else if (type == kDecode && handlers_.decode &&
                   secondsBetween(sender.lastQrgChange, clock_.now()) > kQrgHoldSeconds) {
            handled = true;
            handlers_.decode(datagram, schema, sender);
        } else if (type == kQsoLogged && handlers_.qsoLogged) {
            handled = true;
            handlers_.qsoLogged(datagram, schema);
        }
    });
    if (!handled) {
        step([&] { trace_.write("  Message type=" + numberText(type) + " discarded"); });
    }
}

} // namespace qf
