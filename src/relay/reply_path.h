// Answers of the relay targets passed back to the radio program they name: a logger's double-click
// on a callsign (Reply), Halt Tx, Free Text. WSJT-X acts on them, so only a relay target itself may
// answer, only to a radio program heard, and only while monitoring with the option ticked.
#pragma once

#include <functional>
#include <string>

#include "intake/instances.h"
#include "platform/udp_socket.h"
#include "trace/trace_writer.h"
#include "window/window_model.h"

namespace qf {

class ReplyPath {
  public:
    ReplyPath(WindowModel& window, Instances& instances, UdpSocket& receiveSocket, TraceWriter& trace);

    // The watchdog's restart pause: the receive socket is closed, nothing is passed.
    std::function<bool()> paused;

    // An answer taken from the relay socket `name`, after its own trace lines; true when passed.
    bool offer(const std::string& name, const std::string& datagram, const UdpSocket& from);

  private:
    WindowModel& window_;
    Instances& instances_;
    UdpSocket& receiveSocket_;
    TraceWriter& trace_;
};

} // namespace qf
