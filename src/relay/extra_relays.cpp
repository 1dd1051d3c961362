#include "relay/extra_relays.h"

#include <optional>
#include <string_view>

#include "platform/failure.h"
#include "platform/socket_errors.h"
#include "trace/failure_rule.h"

namespace qf {
namespace {

struct Item {
    std::string text;
    std::string host;
    int port = 0;
    const char* problem = nullptr; // why the item cannot be used
};

std::optional<int> portNumber(std::string_view digits)
{
    if (digits.empty() || digits.size() > 5) {
        return std::nullopt;
    }
    int port = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        port = port * 10 + (c - '0');
    }
    return port >= 1 && port <= 65535 ? std::optional<int>(port) : std::nullopt;
}

Item readItem(std::string text)
{
    Item item;
    item.text = std::move(text);
    const auto colon = item.text.rfind(':');
    if (colon == std::string::npos || colon + 1 == item.text.size()) {
        item.problem = "MoreRelays item skipped: no port (host:port expected)";
    } else if (colon == 0) {
        item.problem = "MoreRelays item skipped: no host (host:port expected)";
    } else if (const auto port = portNumber(std::string_view(item.text).substr(colon + 1))) {
        item.host = item.text.substr(0, colon);
        item.port = *port;
    } else {
        item.problem = "MoreRelays item skipped: the port must be a number from 1 to 65535";
    }
    return item;
}

std::vector<Item> readList(const std::string& list)
{
    std::vector<Item> items;
    constexpr const char* kBlanks = " \t";
    for (auto start = list.find_first_not_of(kBlanks); start != std::string::npos;
         start = list.find_first_not_of(kBlanks, start)) {
        const auto end = list.find_first_of(kBlanks, start);
        items.push_back(readItem(list.substr(start, end == std::string::npos ? end : end - start)));
        start = end;
    }
    return items;
}

// As the main relay's set-up: a failure to close is of no consequence, the next send reopens.
void closeQuietly(UdpSocket& socket)
{
    try {
        socket.close();
    } catch (const Failure&) {
    }
}

std::string socketName(const std::string& item)
{
    return "WinsockServ[" + item + "]";
}

} // namespace

ExtraRelays::ExtraRelays(WindowModel& window, TraceWriter& trace, SocketFactory makeSocket)
    : window_(window), trace_(trace), makeSocket_(std::move(makeSocket))
{
}

ExtraRelays::~ExtraRelays() = default;

ExtraRelays::Target& ExtraRelays::target(std::size_t index, const std::string& item)
{
    if (index == targets_.size()) {
        Target t;
        t.socket = makeSocket_();
        // A datagram costs each target a fraction of a system call: they leave together once a turn.
        t.socket->setBatched(true);
        t.events = std::make_unique<RelayEvents>(*t.socket, trace_, item, false);
        t.events->onAnswer = [this](const std::string& name, const std::string& datagram, const UdpSocket& socket) {
            return onAnswer && onAnswer(name, datagram, socket);
        };
        if (onSocketWired) {
            onSocketWired(*t.socket);
        }
        targets_.push_back(std::move(t));
    }
    Target& t = targets_[index];
    t.events->setTarget(item);
    t.sendLine = "    " + socketName(item) + ".SendData";
    t.failurePrefix = "Winsock1.DataArrival: ** Error in " + socketName(item) + ": ";
    return t;
}

void ExtraRelays::setUp(bool monitoringStarted,
                        const std::function<bool(const std::string& item, const std::string& host, int port)>& leaveOut)
{
    std::size_t used = 0;
    for (const Item& item : readList(window_.moreRelays.text())) {
        const char* problem = item.problem;
        if (problem == nullptr && used == kMaxTargets) {
            problem = "MoreRelays item skipped: no more than 64 further targets";
        }
        if (problem != nullptr) {
            if (monitoringStarted) {
                trace_.write(
                    failureLine("CStart: Error in " + socketName(item.text) + ": ", kInvalidSocketArgument, problem));
            }
            continue;
        }
        if (leaveOut && leaveOut(item.text, item.host, item.port)) {
            continue;
        }
        Target& t = target(used++, item.text);
        UdpSocket& socket = *t.socket;
        closeQuietly(socket);
        t.unresolved = false;
        try {
            socket.setRemotePort(item.port);
            socket.setRemoteHost(item.host);
            socket.bind(0);
            t.ready = true;
        } catch (const Failure& f) {
            // Until a set-up succeeds nothing goes through it: it may still hold its old target.
            t.ready = false;
            trace_.write(failureLine("CStart: Error in " + socketName(item.text) + ": ", f.code, f.description));
            t.events->tally.failed(failureLine("", f.code, f.description), trace_.clock().now());
        }
    }
    for (std::size_t i = used; i < targets_.size(); ++i) {
        closeQuietly(*targets_[i].socket);
        targets_[i].ready = false;
    }
    inUse_ = used;
}

void ExtraRelays::relay(const std::string& datagram)
{
    const bool tracing = trace_.enabled();
    for (std::size_t i = 0; i < inUse_; ++i) {
        Target& t = targets_[i];
        if (!t.ready) {
            continue;
        }
        // A name that does not resolve is said once, not once per datagram; the socket looks it up
        // again now and then, and the datagrams go there once it resolves.
        if (!t.socket->remoteUsable()) {
            if (!t.unresolved) {
                t.unresolved = true;
                const std::string why = "Host not found (nothing is relayed there until the name resolves)";
                trace_.write(failureLine(t.failurePrefix, kHostNotFound, why));
                t.events->tally.failed(failureLine("", kHostNotFound, why), trace_.clock().now());
            }
            continue;
        }
        t.unresolved = false;
        if (tracing) {
            trace_.write(t.sendLine);
        }
        std::string failure;
        if (guarded(
                trace_, t.failurePrefix, [&] { t.socket->sendData(datagram); }, &failure)) {
            ++t.events->tally.relayed;
        } else {
            t.events->tally.failed(std::move(failure), trace_.clock().now());
        }
    }
}

} // namespace qf
