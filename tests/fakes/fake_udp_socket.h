// A UDP socket that records what is done to it and lets a test queue arrivals and failures.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "platform/udp_socket.h"

namespace qf::test {

class FakeUdpSocket final : public UdpSocket {
  public:
    struct Sent {
        std::string host;
        int port;
        std::string bytes;
        friend bool operator==(const Sent&, const Sent&) = default;
    };

    int state() const override { return open_ ? 1 : 0; }
    void bind(int localPort, bool reuseAddress, const std::string& localAddress) override
    {
        log.push_back("bind " + std::to_string(localPort) + (reuseAddress ? " reuse" : "") +
                      (localAddress.empty() ? "" : " at " + localAddress));
        if (bindFailure) {
            throw *bindFailure;
        }
        open_ = true;
        // Port 0 takes a free one, as the system would.
        localPort_ = localPort != 0 ? localPort : 40000 + (nextFreePort_++ % 5000);
        reuse = reuseAddress;
    }
    void setRemoteHost(const std::string& host) override
    {
        log.push_back("host " + host);
        remoteHost_ = host;
    }
    std::string remoteHost() const override { return remoteHost_; }
    void setRemotePort(int port) override
    {
        log.push_back("port " + std::to_string(port));
        remotePort_ = port;
    }
    int remotePort() const override { return remotePort_; }
    void close() override
    {
        log.push_back("close");
        open_ = false;
        groups.clear();
        incoming.clear(); // what waited goes with the socket
    }
    void sendData(const std::string& bytes) override
    {
        log.push_back("send");
        if (sendFailure) {
            throw *sendFailure;
        }
        open_ = true;
        sent.push_back(Sent{remoteHost_, remotePort_, bytes});
    }
    std::string getData() override
    {
        if (receiveFailure) {
            throw *receiveFailure;
        }
        if (incoming.empty()) {
            return {};
        }
        std::string d = std::move(incoming.front().bytes);
        lastSender_ = incoming.front().from;
        incoming.pop_front();
        return d;
    }
    Peer lastSender() const override { return lastSender_; }
    bool lastFromRemote() const override { return lastSender_ == Peer{remoteHost_, remotePort_}; }
    void sendTo(const Peer& to, const std::string& bytes) override
    {
        log.push_back("send to " + to.address + ":" + std::to_string(to.port));
        if (sendFailure) {
            throw *sendFailure;
        }
        sent.push_back(Sent{to.address, to.port, bytes});
    }
    bool remoteUsable() override { return usable; }
    void joinMulticastGroup(const std::string& group, const std::string& interfaceAddress) override
    {
        log.push_back("join " + group + (interfaceAddress.empty() ? "" : " on " + interfaceAddress));
        groups.push_back(group);
    }

    // Queues a datagram and raises the arrival event, as the network would; a closed socket
    // receives nothing. It comes from the remote host and port when the socket has them.
    void receive(const std::string& bytes)
    {
        receiveFrom(remotePort_ != 0 ? Peer{remoteHost_, remotePort_} : kRadio, bytes);
    }
    void receiveFrom(const Peer& from, const std::string& bytes)
    {
        if (!open_) {
            return;
        }
        incoming.push_back(Incoming{bytes, from});
        if (onDataArrival) {
            onDataArrival(static_cast<int>(bytes.size()));
        }
    }
    void raiseError(int code, const std::string& description)
    {
        if (onError) {
            onError(code, description);
        }
    }
    void forceOpen(bool open) { open_ = open; }
    std::size_t awaitingName() const override { return heldForName; }

    // Where a socket without a remote hears from: a radio program on this machine.
    static inline const Peer kRadio{"127.0.0.1", 50000};
    struct Incoming {
        std::string bytes;
        Peer from;
    };

    std::vector<std::string> log;
    std::vector<Sent> sent;
    std::vector<std::string> groups;
    std::deque<Incoming> incoming;
    bool usable = true;
    std::optional<Failure> bindFailure;
    std::optional<Failure> sendFailure;
    std::optional<Failure> receiveFailure;
    bool reuse = false;
    std::size_t heldForName = 0;
    int localPort() const override { return open_ ? localPort_ : 0; }

  private:
    Peer lastSender_;
    bool open_ = false;
    int localPort_ = -1;
    static inline int nextFreePort_ = 0;
    std::string remoteHost_;
    int remotePort_ = 0;
};

} // namespace qf::test
