// The further relay targets of the setting "MoreRelays": every datagram the intake relays goes on
// to each of them too, after the main relay and in list order, each through a socket of its own
// that stays open from one set-up to the next, so a datagram costs each target one send.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/udp_socket.h"
#include "relay/relay_events.h"
#include "trace/trace_writer.h"
#include "window/window_model.h"

namespace qf {

class ExtraRelays {
  public:
    using SocketFactory = std::function<std::unique_ptr<UdpSocket>()>;
    // More targets than this are skipped: each is a socket, and the list comes from a file.
    static constexpr std::size_t kMaxTargets = 64;

    ExtraRelays(WindowModel& window, TraceWriter& trace, SocketFactory makeSocket);
    ~ExtraRelays();
    ExtraRelays(const ExtraRelays&) = delete;
    ExtraRelays& operator=(const ExtraRelays&) = delete;

    // The relay set-up of every press of the start button: the list is read from the window again.
    // Items that cannot be read are skipped, and traced when monitoring has just started.
    // An item for which leaveOut(item, host, port) is true is not used (it says why itself).
    void setUp(bool monitoringStarted,
               const std::function<bool(const std::string& item, const std::string& host, int port)>& leaveOut = {});
    // A target that fails is traced and the next one still gets the datagram.
    void relay(const std::string& datagram);
    std::size_t size() const { return inUse_; }
    // The events of target `index` (below size()): its item and its tally.
    const RelayEvents& target(std::size_t index) const { return *targets_[index].events; }

    // Told of each new target's socket once its events are wired.
    std::function<void(UdpSocket&)> onSocketWired;
    // An answer of a target, after its trace lines.
    std::function<bool(const std::string& name, const std::string& datagram, const UdpSocket& socket)> onAnswer;

  private:
    struct Target {
        std::unique_ptr<UdpSocket> socket;
        std::unique_ptr<RelayEvents> events;
        // Made once per set-up, so that a relay with the trace off builds no text.
        std::string sendLine;
        std::string failurePrefix;
        bool ready = false;      // its set-up succeeded
        bool unresolved = false; // its name did not resolve, said once
    };
    Target& target(std::size_t index, const std::string& item);

    WindowModel& window_;
    TraceWriter& trace_;
    SocketFactory makeSocket_;
    // Only grows: a later set-up reuses the sockets, so none is destroyed while it may hold work.
    std::vector<Target> targets_;
    std::size_t inUse_ = 0;
};

} // namespace qf
