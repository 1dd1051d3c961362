// Keeps a datagram from circulating: a relay target that is the program's own intake is not used,
// and a datagram that comes back from the program's own sockets, or from another relay, is dropped.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/udp_socket.h"
#include "trace/trace_writer.h"

namespace qf {

// Where the receive socket listens: its port, the group it joined (empty: unicast) and the one
// address it is bound to (empty: all of them). All dotted, as the set-up wrote them.
struct OwnIntake {
    int port = 0;
    std::string group;
    std::string listenAddress;
};

// Whether datagrams sent to host:port would reach that intake. A name other than "localhost" is
// not looked up: the guard below catches what this misses.
bool isOwnIntake(const OwnIntake& intake, const std::string& host, int port,
                 const std::function<bool(const std::string& dotted)>& isOwnAddress);

// The operator's words for a target left out: "Relay target 127.0.0.1:2237 is Quillfeed's own port: not used".
std::string ownPortText(const std::string& target);

class LoopGuard {
  public:
    // Bytes seen again within this many seconds count as a copy.
    static constexpr int kWindowSeconds = 2;
    // The same bytes from the same port pass this often within the window, then no more: a loop
    // that runs through two machines sends its copies from the same port each time round.
    static constexpr int kMaxPasses = 4;
    static constexpr int kTraceEverySeconds = 10;

    LoopGuard(Clock& clock, TraceWriter& trace, std::function<bool(const std::string& dotted)> isOwnAddress);

    // A socket the program sends from; its local port is read at each arrival (it may change).
    void watch(const UdpSocket& socket) { own_.push_back(&socket); }

    // False for a datagram that must be neither relayed nor handled; a drop is traced at most
    // once every kTraceEverySeconds.
    bool admit(const std::string& datagram, const UdpSocket::Peer& from);

  private:
    struct Seen {
        std::size_t hash = 0;
        std::int64_t at = 0; // seconds
        std::string address;
        int port = 0;
        int passes = 0;
    };
    bool fromOwnSocket(const UdpSocket::Peer& from, std::int64_t now);
    bool copyOf(Seen& seen, const UdpSocket::Peer& from, std::int64_t now, std::string& why) const;
    void dropped(const UdpSocket::Peer& from, const std::string& why, std::int64_t now);

    Clock& clock_;
    TraceWriter& trace_;
    std::function<bool(const std::string&)> isOwnAddress_;
    std::vector<const UdpSocket*> own_;
    // One slot per hash value: a busy burst may push an entry out early, and a copy then passes as
    // new; the copies after it come from its port and are counted again.
    std::array<Seen, 4096> seen_{};
    // The last address asked of the system, so a stranger using one of our ports costs one look-up.
    std::string askedAddress_;
    bool askedOwn_ = false;
    std::int64_t askedAt_ = -1;
    std::int64_t tracedAt_ = -1;
    std::uint64_t untraced_ = 0;
};

} // namespace qf
