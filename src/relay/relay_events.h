// What a relay socket itself reports: answers from the relay target, errors, send completion.
// All of it is traced; an answer is then offered to whoever may pass it back (onAnswer).
#pragma once

#include <functional>
#include <string>

#include "platform/udp_socket.h"
#include "relay/relay_tally.h"
#include "trace/trace_writer.h"

namespace qf {

class RelayEvents {
  public:
    // The main relay socket is "WinsockServ"; a further target's is named after it, "WinsockServ[host:port]".
    // The main relay closes its socket on an error, as its next send reopens it anyway; a further
    // target keeps its socket for the whole run.
    RelayEvents(UdpSocket& relaySocket, TraceWriter& trace, const std::string& target = "", bool closeOnError = true);

    // A new target starts a new tally.
    void setTarget(const std::string& target);
    const std::string& name() const { return name_; }
    const std::string& target() const { return target_; }

    // An answer taken whole, after its trace lines: the socket's name, the bytes, the socket; true
    // when it was passed back to a radio program.
    std::function<bool(const std::string& name, const std::string& datagram, const UdpSocket& socket)> onAnswer;

    RelayTally tally;

  private:
    void onDataArrival(int bytesTotal);
    void onError(int code, const std::string& description);

    UdpSocket& socket_;
    TraceWriter& trace_;
    bool closeOnError_;
    std::string target_;
    std::string name_;
    std::string errorName_; // the error line's own spelling
};

} // namespace qf
