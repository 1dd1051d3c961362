#include "relay/relay_events.h"

#include "intake/qso_logged_handler.h"
#include "trace/failure_rule.h"

namespace qf {

RelayEvents::RelayEvents(UdpSocket& relaySocket, TraceWriter& trace) : socket_(relaySocket), trace_(trace)
{
    socket_.onDataArrival = [this](int n) { onDataArrival(n); };
    socket_.onError = [this](int code, const std::string& d) { onError(code, d); };
    socket_.onSendComplete = [this] { trace_.write("WinsockServ: SendComplete"); };
}

void RelayEvents::onDataArrival(int bytesTotal)
{
    trace_.write("WinsockServ: DataArrival: bytesTotal=" + blankSignedNumber(bytesTotal) +
                 ", WinsockServ.State=" + blankSignedNumber(socket_.state()));
    std::string t;
    // A failure here must neither end the program nor stop the relay of later datagrams.
    guarded(trace_, "WinsockServ: DataArrival: ** Error ", [&] { t = socket_.getData(); });
    trace_.write("WinsockServ: Recibido: " + t);
}

void RelayEvents::onError(int code, const std::string& description)
{
    trace_.write("WinSockServ: Error (" + std::to_string(code) + ") " + description);
    guarded(trace_, "WinsockServ: Error: ** Error ", [&] {
        if (socket_.state() != 0) {
            socket_.close();
        }
    });
}

} // namespace qf
