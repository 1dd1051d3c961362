// The radio programs heard, keyed by the Id of their datagrams' header (byte for byte): where
// each one sends from, its dial frequency and mode, and when its frequency last changed. Two
// radios on one port each keep their own; with one, this is the window-wide state it always was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/udp_socket.h"

namespace qf {

struct Instance {
    std::string id;
    UdpSocket::Peer from;              // where its datagrams come from
    double qrg = 0;                    // dial frequency in Hz of its last Status
    std::string qrgText = "Waiting.."; // that frequency as the window shows it
    std::string mode;
    DateTime lastQrgChange; // decodes are held back 15 s after it
    bool statusSeen = false;
    DateTime lastHeard;                  // when its last datagram was handled
    std::uint64_t decodes = 0;           // counted and shown
    std::uint64_t spots = 0;             // queued for the spot service
    bool closed = false;                 // it said it closes: its Id is free for whoever sends it next
    std::optional<DateTime> refusalSaid; // when a datagram from elsewhere with its Id was last traced
};

class Instances {
  public:
    // More Ids than this replace one silent for longer than kHoldSeconds: a stream of made-up Ids
    // can neither grow memory nor push out a radio program that is running.
    static constexpr std::size_t kMaxInstances = 16;
    // An Id heard this recently stays with the address and port it came from.
    static constexpr int kHoldSeconds = 60;

    // Room for all of them at once, so an instance stays where it is for as long as it is kept.
    Instances()
    {
        table_.reserve(kMaxInstances);
        order_.reserve(kMaxInstances);
    }

    struct Admission {
        Instance* instance = nullptr;    // null: the datagram is not the Id's to act on
        const Instance* owner = nullptr; // refused: the Id's owner, or null when there was no room
        bool news = false;               // refused, and the same refusal was not traced within a minute
    };
    // The instance of this Id, heard now from `from`; a new one starts with its frequency last
    // changed at `start` (the program's start counts as a change for every instance).
    Admission admit(std::string_view id, const UdpSocket::Peer& from, const DateTime& now, const DateTime& start);
    Instance* find(std::string_view id);
    // The instance whose datagram came last; null before the first.
    const Instance* lastHeard() const;
    std::size_t size() const { return table_.size(); }
    // Every instance kept, in no particular order.
    const std::vector<Instance>& all() const { return table_; }

  private:
    static bool holds(const Instance& i, const DateTime& now);
    // Once a minute at most.
    static bool news(std::optional<DateTime>& said, const DateTime& now);

    std::vector<Instance> table_;
    std::vector<std::uint64_t> order_; // when each was heard, in datagrams
    std::uint64_t count_ = 0;
    std::optional<DateTime> fullSaid_;
};

} // namespace qf
