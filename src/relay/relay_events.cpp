#include "relay/relay_events.h"

#include "trace/failure_rule.h"

namespace qf {

RelayEvents::RelayEvents(UdpSocket& relaySocket, TraceWriter& trace, const std::string& target, bool closeOnError)
    : socket_(relaySocket), trace_(trace), closeOnError_(closeOnError)
{
    setTarget(target);
    socket_.onDataArrival = [this](int n) { onDataArrival(n); };
    socket_.onError = [this](int code, const std::string& d) { onError(code, d); };
    socket_.onSendComplete = [this] { trace_.write(name_ + ": SendComplete"); };
}

void RelayEvents::setTarget(const std::string& target)
{
    if (target != target_) {
        tally = RelayTally{};
        target_ = target;
    }
    const std::string suffix = target.empty() ? "" : "[" + target + "]";
    name_ = "WinsockServ" + suffix;
    errorName_ = "WinSockServ" + suffix;
}

void RelayEvents::onDataArrival(int bytesTotal)
{
    trace_.write(name_ + ": DataArrival: bytesTotal=" + blankSignedNumber(bytesTotal) + ", " + name_ +
                 ".State=" + blankSignedNumber(socket_.state()));
    std::string t;
    // A failure here must neither end the program nor stop the relay of later datagrams.
    const bool taken = guarded(trace_, name_ + ": DataArrival: ** Error ", [&] { t = socket_.getData(); });
    trace_.write(name_ + ": Recibido: " + t);
    if (taken) {
        const bool passed = onAnswer && onAnswer(name_, t, socket_);
        ++(passed ? tally.repliesPassed : tally.repliesRefused);
    }
}

void RelayEvents::onError(int code, const std::string& description)
{
    trace_.write(errorName_ + ": Error (" + std::to_string(code) + ") " + description);
    tally.failed(std::to_string(code) + " - " + description, trace_.clock().now());
    guarded(trace_, name_ + ": Error: ** Error ", [&] {
        if (closeOnError_ && socket_.state() != 0) {
            socket_.close();
        }
    });
}

} // namespace qf
