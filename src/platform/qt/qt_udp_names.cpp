// QtUdpSocket's host names: looked up without blocking the event thread, once for every socket
// of the program, refreshed now and then; datagrams for a name being looked up are held.
#include <arpa/inet.h>

#include <QAbstractSocket>
#include <QHostAddress>
#include <QHostInfo>
#include <QObject>

#include <algorithm>

#include "platform/failure.h"
#include "platform/qt/qt_udp_socket.h"

namespace qf {
namespace {

// A name that did not resolve is looked up again at most this often, never once per datagram.
constexpr auto kRetryFailedLookupAfter = std::chrono::seconds(60);
constexpr auto kRefreshNameAfter = std::chrono::minutes(10);
constexpr std::size_t kMaxNames = 64;

std::optional<in_addr_t> literalAddress(const std::string& host)
{
    in_addr a{};
    if (::inet_pton(AF_INET, host.c_str(), &a) == 1) {
        return a.s_addr;
    }
    if (QString::fromLatin1(host).compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        return htonl(INADDR_LOOPBACK);
    }
    return std::nullopt;
}

} // namespace

std::map<std::string, QtUdpSocket::Name>& QtUdpSocket::names()
{
    static std::map<std::string, Name> all;
    return all;
}

void QtUdpSocket::setRemoteHost(const std::string& host)
{
    remoteHost_ = host;
    remoteLiteral_ = literalAddress(host);
    if (!host.empty() && !remoteLiteral_ && names().find(host) == names().end()) {
        // Looked up now so that the first datagram is rarely held.
        forgetUnusedNames();
        startLookup(host);
    }
}

void QtUdpSocket::forgetUnusedNames()
{
    auto& all = names();
    if (all.size() < kMaxNames) {
        return;
    }
    const auto inUse = [](const std::string& host) {
        return std::any_of(sockets().begin(), sockets().end(), [&](const QtUdpSocket* s) {
            return s->remoteHost_ == host ||
                   std::any_of(s->held_.begin(), s->held_.end(), [&](const Held& h) { return h.host == host; });
        });
    };
    for (auto it = all.begin(); it != all.end();) {
        it = (it->second.lookingUp || inUse(it->first)) ? std::next(it) : all.erase(it);
    }
}

std::optional<in_addr_t> QtUdpSocket::remoteAddress() const
{
    if (remoteLiteral_) {
        return remoteLiteral_;
    }
    const auto it = names().find(remoteHost_);
    if (it != names().end() && it->second.status == Name::Status::Resolved) {
        return it->second.address;
    }
    return std::nullopt;
}

bool QtUdpSocket::remoteUsable()
{
    if (remoteLiteral_ || remoteHost_.empty()) {
        return true;
    }
    auto it = names().find(remoteHost_);
    if (it == names().end()) {
        startLookup(remoteHost_);
        return true;
    }
    Name& name = it->second;
    if (name.status != Name::Status::Failed) {
        return true;
    }
    if (!name.lookingUp && Clock::now() - name.at >= kRetryFailedLookupAfter) {
        startLookup(remoteHost_);
    }
    return false;
}

// The remote host's address for a send; none while its name is being looked up.
std::optional<in_addr_t> QtUdpSocket::addressToSendTo()
{
    if (remoteLiteral_) {
        return remoteLiteral_;
    }
    const auto now = Clock::now();
    auto it = names().find(remoteHost_);
    if (it == names().end()) {
        startLookup(remoteHost_);
        it = names().find(remoteHost_);
    }
    Name& name = it->second;
    switch (name.status) {
    case Name::Status::Resolved:
        if (now - name.at > kRefreshNameAfter && !name.lookingUp) {
            startLookup(remoteHost_);
        }
        return name.address;
    case Name::Status::Pending:
        return std::nullopt;
    case Name::Status::Failed:
        break;
    }
    if (!name.lookingUp && now - name.at >= kRetryFailedLookupAfter) {
        startLookup(remoteHost_);
    }
    const SocketError error = hostNotFound();
    throw Failure(error.code, error.description);
}

void QtUdpSocket::startLookup(const std::string& host)
{
    Name& name = names()[host];
    if (name.lookingUp) {
        return;
    }
    name.lookingUp = true;
    // Never deleted: a look-up may finish after the last socket is gone.
    static QObject* const context = new QObject;
    QHostInfo::lookupHost(QString::fromLatin1(host), context,
                          [host](const QHostInfo& info) { lookupFinished(host, info); });
}

void QtUdpSocket::lookupFinished(const std::string& host, const QHostInfo& info)
{
    auto it = names().find(host);
    if (it == names().end()) {
        return;
    }
    Name& name = it->second;
    name.lookingUp = false;
    std::optional<in_addr_t> found;
    if (info.error() == QHostInfo::NoError) {
        for (const QHostAddress& a : info.addresses()) {
            if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                found = htonl(a.toIPv4Address());
                break;
            }
        }
    }
    if (found) {
        name.status = Name::Status::Resolved;
        name.address = *found;
        name.at = Clock::now();
    } else if (name.status == Name::Status::Resolved) {
        // A failed refresh keeps the address that worked and tries again a little later.
        name.at = Clock::now() - kRefreshNameAfter + kRetryFailedLookupAfter;
    } else {
        name.status = Name::Status::Failed;
        name.at = Clock::now();
    }
    // A socket may go away while another one's datagrams are sent: each is checked before its turn.
    const std::vector<QtUdpSocket*> waiting(sockets().begin(), sockets().end());
    for (QtUdpSocket* socket : waiting) {
        if (sockets().count(socket) != 0) {
            socket->sendHeld(host);
        }
    }
}

void QtUdpSocket::sendHeld(const std::string& host)
{
    std::vector<Held> due;
    for (auto it = held_.begin(); it != held_.end();) {
        if (it->host == host) {
            due.push_back(std::move(*it));
            it = held_.erase(it);
        } else {
            ++it;
        }
    }
    if (due.empty()) {
        return;
    }
    std::weak_ptr<char> alive = alive_;
    for (const Held& datagram : due) {
        auto it = names().find(host);
        if (it == names().end() || it->second.status != Name::Status::Resolved) {
            raiseError(hostNotFound());
        } else {
            try {
                transmit(it->second.address, datagram.port, datagram.bytes);
            } catch (const Failure& failure) {
                raiseError({failure.code, failure.description});
            }
        }
        if (alive.expired()) {
            return;
        }
    }
}

} // namespace qf
