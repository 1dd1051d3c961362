// What a relay socket itself reports: answers from the relay target, errors, send completion.
// All of it is traced; the relay is one-way and nothing goes back to the radio program.
#pragma once

#include <string>

#include "platform/udp_socket.h"
#include "trace/trace_writer.h"

namespace qf {

class RelayEvents {
  public:
    // The main relay socket is "WinsockServ"; a further target's is named after it, "WinsockServ[host:port]".
    RelayEvents(UdpSocket& relaySocket, TraceWriter& trace, const std::string& target = "");

    void setTarget(const std::string& target);

  private:
    void onDataArrival(int bytesTotal);
    void onError(int code, const std::string& description);

    UdpSocket& socket_;
    TraceWriter& trace_;
    std::string name_;
    std::string errorName_; // the error line's own spelling
};

} // namespace qf
