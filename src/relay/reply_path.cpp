#include "relay/reply_path.h"

#include "intake/datagram_intake.h"
#include "trace/escaped.h"
#include "trace/failure_rule.h"

namespace qf {

ReplyPath::ReplyPath(WindowModel& window, Instances& instances, UdpSocket& receiveSocket, TraceWriter& trace)
    : window_(window), instances_(instances), receiveSocket_(receiveSocket), trace_(trace)
{
}

bool ReplyPath::offer(const std::string& name, const std::string& datagram, const UdpSocket& from)
{
    if (!window_.passReplies.checked()) {
        return false;
    }
    const auto drop = [&](const std::string& why) { trace_.write(name + ": Reply not passed: " + why); };
    if (paused && paused()) {
        drop("monitoring is being restarted");
        return false;
    }
    if (window_.start.caption() != kStopCaption) {
        drop("monitoring is off");
        return false;
    }
    // A connected socket hears only its target, but one that has not sent yet hears anybody who
    // found its port: such a stranger must not make WSJT-X transmit.
    if (!from.lastFromRemote()) {
        const UdpSocket::Peer sender = from.lastSender();
        drop("it came from " + sender.address + ":" + std::to_string(sender.port) + ", not from the relay target");
        return false;
    }
    if (!isWsjtxMessage(datagram)) {
        drop("not a WSJT-X message");
        return false;
    }
    const std::string_view wireId = headerId(datagram);
    const Instance* instance = instances_.find(wireId);
    const std::string id = escapeControlBytes(wireId);
    if (instance == nullptr) {
        drop("no instance with Id " + id + " has been heard");
        return false;
    }
    const std::string to = instance->from.address + ":" + std::to_string(instance->from.port);
    if (guarded(trace_, name + ": Reply to " + id + " at " + to + ": ** Error ",
                [&] { receiveSocket_.sendTo(instance->from, datagram); })) {
        trace_.write(name + ": Reply passed to " + id + " at " + to);
        return true;
    }
    return false;
}

} // namespace qf
