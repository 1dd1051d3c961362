// UdpSocket on a raw non-blocking POSIX socket watched by the Qt event loop: the socket control's
// semantics, Winsock error numbers, asynchronous name look-ups and ICMP refusals as error events.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/socket_errors.h"
#include "platform/udp_socket.h"

class QObject;
class QSocketNotifier;
class QHostInfo;

namespace qf {

class QtUdpSocket final : public UdpSocket {
  public:
    QtUdpSocket();
    ~QtUdpSocket() override;
    QtUdpSocket(const QtUdpSocket&) = delete;
    QtUdpSocket& operator=(const QtUdpSocket&) = delete;

    int state() const override;
    void bind(int localPort, bool reuseAddress = false, const std::string& localAddress = {}) override;
    void setRemoteHost(const std::string& host) override;
    std::string remoteHost() const override { return remoteHost_; }
    void setRemotePort(int port) override;
    int remotePort() const override { return remotePort_; }
    void close() override;
    void sendData(const std::string& bytes) override;
    std::string getData() override;
    Peer lastSender() const override;
    bool lastFromRemote() const override;
    void sendTo(const Peer& to, const std::string& bytes) override;
    bool remoteUsable() override;
    void setBatched(bool batched) override { batched_ = batched; }
    void joinMulticastGroup(const std::string& group, const std::string& interfaceAddress = {}) override;
    std::size_t awaitingName() const override { return held_.size(); }

    int localPort() const override;

    // Datagrams held while a name is being looked up; more are refused rather than queued forever.
    static constexpr std::size_t kMaxHeld = 1000;
    // Arrival events raised per wake-up, so that one busy socket cannot starve the window.
    static constexpr int kMaxArrivalsPerWakeUp = 512;
    // Nor longer than this, however slow the handler is (a trace being written, say).
    static constexpr std::chrono::milliseconds kMaxBusyPerWakeUp{20};

  private:
    using Clock = std::chrono::steady_clock;
    // Host names are looked up once for every socket of the program: two relay targets on one host
    // cost one look-up.
    struct Name {
        enum class Status { Pending, Resolved, Failed } status = Status::Pending;
        in_addr_t address = 0;
        Clock::time_point at{};
        bool lookingUp = false;
    };
    struct Held {
        std::string host;
        int port;
        std::string bytes;
    };
    class Dispatch;

    static std::map<std::string, Name>& names();
    static std::set<QtUdpSocket*>& sockets();
    static void startLookup(const std::string& host);
    static void lookupFinished(const std::string& host, const QHostInfo& info);
    static void forgetUnusedNames();

    // Only a socket bound to receive gets the large receive queue.
    void open(int localPort, bool reuseAddress, bool receiving, in_addr_t localAddress = htonl(INADDR_ANY));
    void watch();
    void watchSoon();
    void releaseNotifier();
    void closeParked();
    void closeParkedSoon();
    void readReady();
    void resumeReading();
    void transmit(in_addr_t address, int port, const std::string& bytes);
    void connectTo(in_addr_t address, int port);
    void queueSend(in_addr_t address, int port, const std::string& bytes);
    void sendQueued();
    void raiseError(const SocketError& error);
    void raiseErrorLater(const SocketError& error);
    void sendHeld(const std::string& host);
    std::optional<in_addr_t> remoteAddress() const;
    // Throws when the name is known not to resolve.
    std::optional<in_addr_t> addressToSendTo();

    std::shared_ptr<char> alive_ = std::make_shared<char>();
    std::unique_ptr<QObject> context_;
    QSocketNotifier* notifier_ = nullptr;
    int fd_ = -1;
    // Read from the system once per descriptor: the loop guard asks at every arrival.
    mutable int localPort_ = 0;
    unsigned generation_ = 0;
    int dispatchDepth_ = 0;
    bool reading_ = false;
    bool paused_ = false;
    bool watchPending_ = false;
    unsigned taken_ = 0;
    std::vector<char> buffer_;
    in_addr_t lastSenderAddress_ = 0;
    int lastSenderPort_ = 0;
    mutable Peer lastSenderText_;
    mutable in_addr_t lastSenderTextOf_ = 0;

    std::string remoteHost_;
    std::optional<in_addr_t> remoteLiteral_; // the remote host when it is an address, parsed once
    int remotePort_ = 0;
    bool connected_ = false;
    // Opened by a send, not bound by the program: such a socket is parked on close (see close()).
    bool sending_ = false;
    int parkedFd_ = -1;
    int parkedPort_ = 0;
    bool parkedConnected_ = false;
    bool closeParkedPending_ = false;
    in_addr_t connectedAddress_ = 0;
    int connectedPort_ = 0;

    std::deque<Held> held_;
    struct Outgoing {
        in_addr_t address;
        int port;
        std::string bytes;
    };
    bool batched_ = false;
    bool sendQueuedPending_ = false;
    std::vector<Outgoing> outgoing_;
};

} // namespace qf
