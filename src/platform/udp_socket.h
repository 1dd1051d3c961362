// A UDP socket with the semantics of the desktop socket control the behaviour was written for:
// state 0 closed / 1 open, a remote host and port kept across close, one datagram per send.
// Operations that fail throw Failure with the socket layer's error number and a description.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace qf {

class UdpSocket {
  public:
    virtual ~UdpSocket() = default;

    virtual int state() const = 0;
    // Binds to the local port (0: any free port) of the local address, a dotted IPv4 address (empty:
    // all local addresses). With reuseAddress the port may be shared by other programs (multicast groups).
    virtual void bind(int localPort, bool reuseAddress = false, const std::string& localAddress = {}) = 0;
    virtual void setRemoteHost(const std::string& host) = 0;
    virtual std::string remoteHost() const = 0;
    virtual void setRemotePort(int port) = 0;
    virtual int remotePort() const = 0;
    // The local port while open (bound, or opened by a send), 0 while closed.
    virtual int localPort() const = 0;
    virtual void close() = 0;
    // Sends one datagram to the remote host and port; a closed socket reopens on a free port.
    virtual void sendData(const std::string& bytes) = 0;
    // Takes the waiting datagram whole (empty when none is waiting).
    virtual std::string getData() = 0;
    // Where the datagram last taken came from: a dotted IPv4 address and a port.
    struct Peer {
        std::string address;
        int port = 0;
        friend bool operator==(const Peer&, const Peer&) = default;
    };
    virtual Peer lastSender() const = 0;
    // Whether the datagram last taken came from the remote host (a name as it resolved) and port.
    virtual bool lastFromRemote() const = 0;
    // Sends one datagram to a dotted IPv4 address and port from this open socket, its own local port;
    // the remote host and port are not touched.
    virtual void sendTo(const Peer& to, const std::string& bytes) = 0;
    // False while the remote host is a name that could not be resolved: a send would fail. Asking
    // starts a new look-up when the last failed a while ago.
    virtual bool remoteUsable() { return true; }
    // Batched: the datagrams of one turn of the event loop leave together, in order, when it ends
    // (one system call for all), and a send that fails is reported as an error event.
    virtual void setBatched(bool) {}
    // Joins an IPv4 multicast group on the interface that holds the dotted address, and hears the
    // group from no other; empty: on every interface. Failures are ignored by design.
    virtual void joinMulticastGroup(const std::string& group, const std::string& interfaceAddress = {}) = 0;
    // Datagrams taken by sendData that wait for the remote host's name: each goes, or fails with
    // an error event, once the look-up ends.
    virtual std::size_t awaitingName() const { return 0; }

    std::function<void(int bytesTotal)> onDataArrival;
    std::function<void(int code, const std::string& description)> onError;
    std::function<void()> onSendComplete;
};

} // namespace qf
