#include "platform/qt/qt_udp_socket.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "platform/failure.h"

namespace qf {
namespace {

constexpr std::size_t kLargestDatagram = 65536;
constexpr int kReceiveBufferBytes = 8 * 1024 * 1024;
constexpr int kResumeUntakenAfterMs = 100;

[[noreturn]] void fail(const SocketError& error)
{
    throw Failure(error.code, error.description);
}

[[noreturn]] void failWithErrno(int err)
{
    fail(socketErrorFromErrno(err));
}

void checkPort(int port)
{
    if (port < 0 || port > 65535) {
        fail({kInvalidSocketArgument, "Invalid argument (port must be 0 to 65535)"});
    }
}

// Bursts from the radio programs must not overflow the queue while the window is busy; without the
// privilege to force it, the system's ceiling for SO_RCVBUF is the best there is.
void enlargeReceiveBuffer(int fd)
{
    const int bytes = kReceiveBufferBytes;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0) {
        (void)::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    }
}

} // namespace

// Counts the callbacks in progress, so that a socket closed or destroyed from inside one defers
// deleting the Qt objects whose signal is being delivered.
class QtUdpSocket::Dispatch {
  public:
    explicit Dispatch(QtUdpSocket& socket) : socket_(socket), alive_(socket.alive_) { ++socket_.dispatchDepth_; }
    ~Dispatch()
    {
        if (!alive_.expired()) {
            --socket_.dispatchDepth_;
        }
    }
    Dispatch(const Dispatch&) = delete;
    Dispatch& operator=(const Dispatch&) = delete;
    bool alive() const { return !alive_.expired(); }

  private:
    QtUdpSocket& socket_;
    std::weak_ptr<char> alive_;
};

QtUdpSocket::QtUdpSocket() : context_(std::make_unique<QObject>())
{
    sockets().insert(this);
}

QtUdpSocket::~QtUdpSocket()
{
    sockets().erase(this);
    const bool insideCallback = dispatchDepth_ > 0;
    alive_.reset();
    close();
    closeParked();
    if (insideCallback) {
        context_.release()->deleteLater();
    }
}

int QtUdpSocket::state() const
{
    return fd_ >= 0 ? 1 : 0;
}

int QtUdpSocket::localPort() const
{
    if (fd_ < 0) {
        return 0;
    }
    sockaddr_in a{};
    socklen_t length = sizeof a;
    if (localPort_ == 0 && ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length) == 0) {
        localPort_ = ntohs(a.sin_port);
    }
    return localPort_;
}

void QtUdpSocket::bind(int localPort, bool reuseAddress, const std::string& localAddress)
{
    checkPort(localPort);
    in_addr local{};
    local.s_addr = htonl(INADDR_ANY);
    if (!localAddress.empty() && ::inet_pton(AF_INET, localAddress.c_str(), &local) != 1) {
        fail({kAddressNotAvailable, "Cannot assign requested address (" + localAddress + ")"});
    }
    if (fd_ >= 0) {
        fail({kInvalidSocketArgument, "Invalid argument (socket already open)"});
    }
    closeParked();
    open(localPort, reuseAddress, true, local.s_addr);
}

void QtUdpSocket::open(int localPort, bool reuseAddress, bool receiving, in_addr_t localAddress)
{
    if (!receiving && parkedFd_ >= 0) {
        fd_ = parkedFd_;
        localPort_ = parkedPort_;
        parkedFd_ = -1;
        connected_ = parkedConnected_;
        ++generation_;
        sending_ = true;
        reading_ = false;
        paused_ = false;
        watchSoon();
        return;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        failWithErrno(errno);
    }
    if (reuseAddress) {
        const int on = 1;
        (void)::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    // A socket reopened to send gets nothing but error reports; sparing it two system calls counts
    // when every relayed datagram reopens one.
    if (receiving) {
        enlargeReceiveBuffer(fd);
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = localAddress;
    local.sin_port = htons(static_cast<std::uint16_t>(localPort));
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        const int err = errno;
        ::close(fd);
        failWithErrno(err);
    }
    fd_ = fd;
    localPort_ = 0;
    ++generation_;
    sending_ = !receiving;
    connected_ = false;
    reading_ = false;
    paused_ = false;
    if (receiving) {
        watch();
    } else {
        watchSoon();
    }
}

void QtUdpSocket::watch()
{
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, context_.get());
    QObject::connect(notifier_, &QSocketNotifier::activated, context_.get(),
                     [this, alive = std::weak_ptr<char>(alive_)] {
                         if (!alive.expired()) {
                             readReady();
                         }
                     });
}

// A socket opened to send is watched for error reports, and the event loop delivers them only once
// the running handler returns: a relay that reopens its socket for every datagram of a burst then
// registers one notifier per burst instead of one per datagram.
void QtUdpSocket::watchSoon()
{
    if (watchPending_) {
        return;
    }
    watchPending_ = true;
    QMetaObject::invokeMethod(
        context_.get(),
        [this, alive = std::weak_ptr<char>(alive_)] {
            if (alive.expired()) {
                return;
            }
            watchPending_ = false;
            if (fd_ >= 0 && notifier_ == nullptr) {
                watch();
            }
        },
        Qt::QueuedConnection);
}

void QtUdpSocket::releaseNotifier()
{
    if (notifier_ == nullptr) {
        return;
    }
    notifier_->setEnabled(false);
    QObject::disconnect(notifier_, nullptr, nullptr, nullptr);
    if (dispatchDepth_ > 0) {
        notifier_->deleteLater();
    } else {
        delete notifier_;
    }
    notifier_ = nullptr;
}

void QtUdpSocket::close()
{
    if (fd_ < 0) {
        return;
    }
    // What was given to send before the close goes first.
    if (!outgoing_.empty()) {
        sendQueued();
        if (fd_ < 0) {
            return;
        }
    }
    // The notifier must let go of the descriptor before it is closed and its number reused.
    releaseNotifier();
    if (sending_ && parkedFd_ < 0) {
        // Every relayed datagram closes and reopens its socket. A socket that was only sending is
        // kept aside until the event loop turns, so that the reopen right after reuses it (same
        // free local port, same connection) instead of costing four system calls.
        parkedFd_ = fd_;
        parkedPort_ = localPort_;
        parkedConnected_ = connected_;
        closeParkedSoon();
    } else {
        ::close(fd_);
    }
    fd_ = -1;
    localPort_ = 0;
    connected_ = false;
    reading_ = false;
    paused_ = false;
}

void QtUdpSocket::closeParked()
{
    if (parkedFd_ >= 0) {
        ::close(parkedFd_);
        parkedFd_ = -1;
    }
}

void QtUdpSocket::closeParkedSoon()
{
    if (closeParkedPending_) {
        return;
    }
    closeParkedPending_ = true;
    QMetaObject::invokeMethod(
        context_.get(),
        [this, alive = std::weak_ptr<char>(alive_)] {
            if (!alive.expired()) {
                closeParkedPending_ = false;
                closeParked();
            }
        },
        Qt::QueuedConnection);
}

std::set<QtUdpSocket*>& QtUdpSocket::sockets()
{
    static std::set<QtUdpSocket*> all;
    return all;
}

void QtUdpSocket::setRemotePort(int port)
{
    checkPort(port);
    remotePort_ = port;
}

// No send-complete event is raised: a UDP send on Linux completes, or fails, within the call.
void QtUdpSocket::sendData(const std::string& bytes)
{
    if (remoteHost_.empty() || remotePort_ == 0) {
        fail({kAddressNotAvailable, "Cannot assign requested address (no remote host or port)"});
    }
    const std::optional<in_addr_t> address = addressToSendTo();
    if (fd_ < 0) {
        open(0, false, false);
    }
    if (address) {
        if (batched_) {
            queueSend(*address, remotePort_, bytes);
        } else {
            transmit(*address, remotePort_, bytes);
        }
        return;
    }
    if (held_.size() >= kMaxHeld) {
        fail({kNoBufferSpace, "No buffer space available (host name look-up pending)"});
    }
    held_.push_back(Held{remoteHost_, remotePort_, bytes});
}

// Connected, so that Linux reports a closed far port (ICMP) back to this socket.
void QtUdpSocket::connectTo(in_addr_t address, int port)
{
    if (fd_ < 0) {
        open(0, false, false);
    }
    if (!connected_ || connectedAddress_ != address || connectedPort_ != port) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = address;
        to.sin_port = htons(static_cast<std::uint16_t>(port));
        connected_ = false;
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
            failWithErrno(errno);
        }
        connected_ = true;
        connectedAddress_ = address;
        connectedPort_ = port;
    }
}

void QtUdpSocket::transmit(in_addr_t address, int port, const std::string& bytes)
{
    connectTo(address, port);
    for (int attempt = 0;; ++attempt) {
        if (::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) >= 0) {
            return;
        }
        const int err = errno;
        // A refusal on send belongs to an earlier datagram; this one has not gone yet.
        if (attempt < 2 && (err == EINTR || err == ECONNREFUSED)) {
            if (err == ECONNREFUSED) {
                raiseErrorLater(socketErrorFromErrno(err));
            }
            continue;
        }
        failWithErrno(err);
    }
}

void QtUdpSocket::queueSend(in_addr_t address, int port, const std::string& bytes)
{
    if (outgoing_.size() >= kMaxHeld) {
        fail({kNoBufferSpace, "No buffer space available (datagrams waiting to be sent)"});
    }
    outgoing_.push_back(Outgoing{address, port, bytes});
    if (sendQueuedPending_) {
        return;
    }
    sendQueuedPending_ = true;
    QMetaObject::invokeMethod(
        context_.get(),
        [this, alive = std::weak_ptr<char>(alive_)] {
            if (!alive.expired()) {
                sendQueuedPending_ = false;
                sendQueued();
            }
        },
        Qt::QueuedConnection);
}

// One system call for the datagrams of a turn: a relay to several targets costs each of them a
// fraction of a send per datagram. In order; a datagram that cannot go is reported and skipped.
void QtUdpSocket::sendQueued()
{
    constexpr std::size_t kPerCall = 256;
    std::vector<Outgoing> due;
    due.swap(outgoing_);
    std::vector<mmsghdr> messages;
    std::vector<iovec> parts;
    std::size_t next = 0;
    int refusals = 0;
    // Errors are reported once this returns: it may run inside close().
    while (next < due.size()) {
        const Outgoing& first = due[next];
        try {
            connectTo(first.address, first.port);
        } catch (const Failure& failure) {
            ++next;
            raiseErrorLater({failure.code, failure.description});
            continue;
        }
        std::size_t end = next;
        while (end < due.size() && end - next < kPerCall && due[end].address == first.address &&
               due[end].port == first.port) {
            ++end;
        }
        messages.assign(end - next, mmsghdr{});
        parts.resize(end - next);
        for (std::size_t i = next; i < end; ++i) {
            parts[i - next] = iovec{const_cast<char*>(due[i].bytes.data()), due[i].bytes.size()};
            messages[i - next].msg_hdr.msg_iov = &parts[i - next];
            messages[i - next].msg_hdr.msg_iovlen = 1;
        }
        const int sent = ::sendmmsg(fd_, messages.data(), static_cast<unsigned>(end - next), MSG_NOSIGNAL);
        if (sent > 0) {
            next += static_cast<std::size_t>(sent);
            refusals = 0;
            continue;
        }
        const int err = errno;
        if (err == EINTR) {
            continue;
        }
        raiseErrorLater(socketErrorFromErrno(err));
        // A refusal belongs to an earlier datagram (ICMP): the next one has not gone yet.
        if (err != ECONNREFUSED || ++refusals > 2) {
            ++next;
        }
    }
}

std::string QtUdpSocket::getData()
{
    if (fd_ < 0) {
        return {};
    }
    if (buffer_.size() < kLargestDatagram) {
        buffer_.resize(kLargestDatagram);
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(fd_, buffer_.data(), buffer_.size(), MSG_TRUNC | MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n >= 0) {
            ++taken_;
            lastSenderAddress_ = from.sin_addr.s_addr;
            lastSenderPort_ = ntohs(from.sin_port);
            resumeReading();
            return std::string(buffer_.data(), std::min(static_cast<std::size_t>(n), buffer_.size()));
        }
        const int err = errno;
        if (err == EAGAIN || err == EWOULDBLOCK) {
            return {};
        }
        if (err != EINTR) {
            // An ICMP report of an earlier send; the call cleared it, so the datagram can follow.
            raiseErrorLater(socketErrorFromErrno(err));
        }
    }
    return {};
}

void QtUdpSocket::readReady()
{
    if (fd_ < 0 || reading_) {
        return;
    }
    Dispatch dispatch(*this);
    const unsigned generation = generation_;
    const auto current = [&] { return dispatch.alive() && generation_ == generation && fd_ >= 0; };
    // No arrival event is raised while the previous one is being handled (a modal box in it).
    reading_ = true;
    notifier_->setEnabled(false);

    int err = 0;
    socklen_t length = sizeof err;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &length) == 0 && err != 0) {
        raiseError(socketErrorFromErrno(err));
        if (!current()) {
            return;
        }
    }
    bool untaken = false;
    const auto yieldAt = Clock::now() + kMaxBusyPerWakeUp;
    for (int i = 0; i < kMaxArrivalsPerWakeUp && Clock::now() < yieldAt; ++i) {
        const ssize_t waiting = ::recv(fd_, nullptr, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
        if (waiting < 0) {
            const int recvErr = errno;
            if (recvErr != EAGAIN && recvErr != EWOULDBLOCK && recvErr != EINTR) {
                raiseError(socketErrorFromErrno(recvErr));
                if (!current()) {
                    return;
                }
            }
            break;
        }
        const auto handler = onDataArrival;
        const unsigned takenBefore = taken_;
        if (handler) {
            handler(static_cast<int>(waiting));
            if (!current()) {
                return;
            }
        }
        if (taken_ == takenBefore) {
            untaken = true;
            break;
        }
    }
    reading_ = false;
    if (!untaken) {
        notifier_->setEnabled(true);
        return;
    }
    // The datagram stays queued for a later getData(); offer it again soon, without spinning.
    paused_ = true;
    QTimer::singleShot(kResumeUntakenAfterMs, context_.get(), [this, alive = std::weak_ptr<char>(alive_), generation] {
        if (!alive.expired() && generation_ == generation) {
            resumeReading();
        }
    });
}

void QtUdpSocket::resumeReading()
{
    if (fd_ >= 0 && paused_ && !reading_) {
        paused_ = false;
        notifier_->setEnabled(true);
    }
}

void QtUdpSocket::raiseError(const SocketError& error)
{
    const auto handler = onError;
    if (handler) {
        Dispatch dispatch(*this);
        handler(error.code, error.description);
    }
}

void QtUdpSocket::raiseErrorLater(const SocketError& error)
{
    QMetaObject::invokeMethod(
        context_.get(),
        [this, alive = std::weak_ptr<char>(alive_), error] {
            if (!alive.expired()) {
                raiseError(error);
            }
        },
        Qt::QueuedConnection);
}

// Asked for every datagram: the text is made again only when the sender changes.
UdpSocket::Peer QtUdpSocket::lastSender() const
{
    if (lastSenderText_.port != lastSenderPort_ || lastSenderTextOf_ != lastSenderAddress_ ||
        lastSenderText_.address.empty()) {
        char text[INET_ADDRSTRLEN] = {};
        in_addr a{};
        a.s_addr = lastSenderAddress_;
        ::inet_ntop(AF_INET, &a, text, sizeof text);
        lastSenderText_ = Peer{text, lastSenderPort_};
        lastSenderTextOf_ = lastSenderAddress_;
    }
    return lastSenderText_;
}

bool QtUdpSocket::lastFromRemote() const
{
    const auto remote = remoteAddress();
    return remote && *remote == lastSenderAddress_ && remotePort_ == lastSenderPort_ && remotePort_ != 0;
}

void QtUdpSocket::sendTo(const Peer& to, const std::string& bytes)
{
    if (fd_ < 0) {
        fail({kInvalidSocketArgument, "Invalid argument (socket closed)"});
    }
    checkPort(to.port);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(to.port));
    if (::inet_pton(AF_INET, to.address.c_str(), &address.sin_addr) != 1) {
        fail({kAddressNotAvailable, "Cannot assign requested address (" + to.address + ")"});
    }
    if (::sendto(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address),
                 sizeof address) < 0) {
        failWithErrno(errno);
    }
}

void QtUdpSocket::joinMulticastGroup(const std::string& group, const std::string& interfaceAddress)
{
    if (fd_ < 0) {
        return;
    }
    const in_addr_t groupAddress = ::inet_addr(group.c_str());
    if (groupAddress == INADDR_NONE) {
        return;
    }
    // Every result is ignored: a membership that cannot be had just brings no traffic.
    const auto join = [&](in_addr_t at) {
        ip_mreq request{};
        request.imr_multiaddr.s_addr = groupAddress;
        request.imr_interface.s_addr = at;
        (void)::setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request);
    };
    const int on = 1;
    if (!interfaceAddress.empty()) {
        in_addr only{};
        if (::inet_pton(AF_INET, interfaceAddress.c_str(), &only) != 1) {
            return;
        }
        // By default Linux hands a socket the group from every interface any program joined it on.
        const int off = 0;
        (void)::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off);
        join(only.s_addr);
        (void)::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_LOOP, &on, sizeof on);
        return;
    }
    join(htonl(INADDR_ANY));
    // Linux delivers a group only on the interfaces that joined it; WSJT-X sends on loopback.
    ifaddrs* interfaces = nullptr;
    if (::getifaddrs(&interfaces) == 0) {
        for (const ifaddrs* i = interfaces; i != nullptr; i = i->ifa_next) {
            if (i->ifa_addr != nullptr && i->ifa_addr->sa_family == AF_INET && (i->ifa_flags & IFF_UP) != 0 &&
                (i->ifa_flags & IFF_MULTICAST) != 0) {
                join(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
            }
        }
        ::freeifaddrs(interfaces);
    }
    join(htonl(INADDR_LOOPBACK));
    (void)::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_LOOP, &on, sizeof on);
}

} // namespace qf
