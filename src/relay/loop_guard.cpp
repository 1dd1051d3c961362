#include "relay/loop_guard.h"

#include <arpa/inet.h>

#include <optional>
#include <string_view>

#include "platform/local_addresses.h"

namespace qf {
namespace {

std::optional<in_addr_t> ipv4(const std::string& text)
{
    in_addr a{};
    if (::inet_pton(AF_INET, text.c_str(), &a) != 1) {
        return std::nullopt;
    }
    return a.s_addr;
}

bool sameAddress(const std::string& a, const std::string& b)
{
    const auto x = ipv4(a);
    return x && x == ipv4(b);
}

std::string lowered(std::string text)
{
    for (char& c : text) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return text;
}

std::string peerText(const UdpSocket::Peer& peer)
{
    return peer.address + ":" + std::to_string(peer.port);
}

} // namespace

bool isOwnIntake(const OwnIntake& intake, const std::string& hostText, int port,
                 const std::function<bool(const std::string& dotted)>& isOwnAddress)
{
    if (intake.port <= 0 || port != intake.port) {
        return false;
    }
    const std::string host = lowered(hostText) == "localhost" ? "127.0.0.1" : hostText;
    if (!intake.group.empty() && sameAddress(host, intake.group)) {
        return true;
    }
    if (!intake.listenAddress.empty()) {
        // Bound to one address (or, with a group, to the group): nothing else reaches it.
        return intake.group.empty() && sameAddress(host, intake.listenAddress);
    }
    // 0.0.0.0 as a destination means this machine.
    return sameAddress(host, "0.0.0.0") || isLoopbackAddress(host) || (isOwnAddress && isOwnAddress(host));
}

std::string ownPortText(const std::string& target)
{
    return "Relay target " + target + " is Quillfeed's own port: not used";
}

LoopGuard::LoopGuard(Clock& clock, TraceWriter& trace, std::function<bool(const std::string& dotted)> isOwnAddress)
    : clock_(clock), trace_(trace), isOwnAddress_(std::move(isOwnAddress))
{
}

bool LoopGuard::admit(const std::string& datagram, const UdpSocket::Peer& from)
{
    const std::int64_t now = toSeconds(clock_.now());
    if (fromOwnSocket(from, now)) {
        dropped(from, "sent by Quillfeed itself (a relay target is its own port)", now);
        return false;
    }
    const std::size_t hash = std::hash<std::string_view>{}(datagram);
    Seen& seen = seen_[hash % seen_.size()];
    const std::int64_t age = now - seen.at;
    if (seen.passes == 0 || seen.hash != hash || age < 0 || age > kWindowSeconds) {
        seen.hash = hash;
        seen.at = now;
        seen.address = from.address;
        seen.port = from.port;
        seen.passes = 1;
        return true;
    }
    std::string why;
    if (copyOf(seen, from, now, why)) {
        dropped(from, why, now);
        return false;
    }
    return true;
}

// Only a port match asks whether the address is ours: a look-up of the interfaces is not cheap.
bool LoopGuard::fromOwnSocket(const UdpSocket::Peer& from, std::int64_t now)
{
    bool ourPort = false;
    for (const UdpSocket* socket : own_) {
        if (socket->localPort() == from.port && from.port > 0) {
            ourPort = true;
            break;
        }
    }
    if (!ourPort) {
        return false;
    }
    if (isLoopbackAddress(from.address)) {
        return true;
    }
    if (from.address != askedAddress_ || now != askedAt_) {
        askedAddress_ = from.address;
        askedAt_ = now;
        askedOwn_ = isOwnAddress_ && isOwnAddress_(from.address);
    }
    return askedOwn_;
}

// The same bytes seen just before: from another port of the same address, a relay sent them on;
// from the same port, the sender repeated them, which passes a few times. A radio program that
// sends on two interfaces uses one port from two addresses: that passes too.
bool LoopGuard::copyOf(Seen& seen, const UdpSocket::Peer& from, std::int64_t now, std::string& why) const
{
    if (from.port != seen.port && from.address == seen.address) {
        seen.at = now;
        why = "the same bytes came from port " + std::to_string(seen.port) + " just before (relays in a loop)";
        return true;
    }
    if (++seen.passes > kMaxPasses) {
        seen.at = now;
        why = "the same bytes came " + std::to_string(kMaxPasses) + " times within " + std::to_string(kWindowSeconds) +
              " s (relays in a loop)";
        return true;
    }
    return false;
}

void LoopGuard::dropped(const UdpSocket::Peer& from, const std::string& why, std::int64_t now)
{
    if (tracedAt_ >= 0 && now - tracedAt_ < kTraceEverySeconds && now >= tracedAt_) {
        ++untraced_;
        return;
    }
    std::string line = "  Not taken from " + peerText(from) + ": " + why;
    if (untraced_ > 0) {
        line += ", " + std::to_string(untraced_) + " more not taken before";
    }
    trace_.write(line);
    tracedAt_ = now;
    untraced_ = 0;
}

} // namespace qf
