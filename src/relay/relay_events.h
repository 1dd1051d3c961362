// What the relay socket itself reports: answers from the relay target, errors, send completion.
// All of it is traced; the relay is one-way and nothing goes back to the radio program.
#pragma once

#include <string>

#include "platform/udp_socket.h"
#include "trace/trace_writer.h"

namespace qf {

class RelayEvents {
  public:
    RelayEvents(UdpSocket& relaySocket, TraceWriter& trace);

  private:
    void onDataArrival(int bytesTotal);
    void onError(int code, const std::string& description);

    UdpSocket& socket_;
    TraceWriter& trace_;
};

} // namespace qf
