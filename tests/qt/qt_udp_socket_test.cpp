#include "platform/qt/qt_udp_socket.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QHostAddress>
#include <QHostInfo>

#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "qt_test_support.h"

namespace qf {
namespace {

using test::runEventsFor;
using test::runEventsUntil;

// A bound socket that takes every datagram as it is announced.
struct Receiver {
    explicit Receiver(int port = 0, bool reuse = false)
    {
        socket.onDataArrival = [this](int bytesTotal) {
            announced.push_back(bytesTotal);
            got.push_back(socket.getData());
        };
        socket.bind(port, reuse);
    }
    int port() const { return socket.localPort(); }

    QtUdpSocket socket;
    std::vector<int> announced;
    std::vector<std::string> got;
};

std::unique_ptr<QtUdpSocket> senderTo(const std::string& host, int port)
{
    auto s = std::make_unique<QtUdpSocket>();
    s->setRemoteHost(host);
    s->setRemotePort(port);
    return s;
}

int failureCode(const std::function<void()>& step)
{
    try {
        step();
    } catch (const Failure& f) {
        return f.code;
    }
    return 0;
}

// A port that was free a moment ago and on which nothing listens now.
int closedPort()
{
    QtUdpSocket probe;
    probe.bind(0);
    return probe.localPort();
}

TEST(QtUdpSocket, receives_each_datagram_whole_from_empty_to_the_largest)
{
    Receiver r;
    auto s = senderTo("127.0.0.1", r.port());
    std::string largest(65507, '\0');
    for (std::size_t i = 0; i < largest.size(); ++i) {
        largest[i] = static_cast<char>((i * 31 + i / 251) & 0xFF);
    }
    s->sendData("");
    s->sendData(std::string("a\0b\xff", 4));
    s->sendData(largest);

    ASSERT_TRUE(runEventsUntil([&] { return r.got.size() == 3; }));
    EXPECT_EQ(r.announced, (std::vector<int>{0, 4, 65507}));
    EXPECT_EQ(r.got[0], "");
    EXPECT_EQ(r.got[1], std::string("a\0b\xff", 4));
    EXPECT_TRUE(r.got[2] == largest) << "size " << r.got[2].size();
    EXPECT_EQ(failureCode([&] { s->sendData(std::string(65508, 'x')); }), 10040);
}

TEST(QtUdpSocket, a_send_reopens_a_closed_socket_and_keeps_the_remote_address)
{
    Receiver r;
    QtUdpSocket s;
    EXPECT_EQ(s.state(), 0);
    s.setRemoteHost("127.0.0.1");
    s.setRemotePort(r.port());
    s.sendData("first");
    EXPECT_EQ(s.state(), 1);
    s.close();
    EXPECT_EQ(s.state(), 0);
    EXPECT_EQ(s.remoteHost(), "127.0.0.1");
    EXPECT_EQ(s.remotePort(), r.port());
    s.sendData("second");
    EXPECT_EQ(s.state(), 1);
    ASSERT_TRUE(runEventsUntil([&] { return r.got.size() == 2; }));
    EXPECT_EQ(r.got, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(s.getData(), "");
}

TEST(QtUdpSocket, a_closed_sending_socket_lets_go_of_its_port_once_the_event_loop_turns)
{
    Receiver r;
    auto s = senderTo("127.0.0.1", r.port());
    s->sendData("one");
    const int port = s->localPort();
    ASSERT_NE(port, 0);
    s->close();
    runEventsFor(50);
    QtUdpSocket taker;
    EXPECT_EQ(failureCode([&] { taker.bind(port); }), 0) << "the port is free again";
    s->sendData("two");
    EXPECT_NE(s->localPort(), port);
    s->close();
    EXPECT_EQ(failureCode([&] { s->bind(0); }), 0) << "a bind does not reuse the sending descriptor";
    ASSERT_TRUE(runEventsUntil([&] { return r.got.size() == 2; }));
    EXPECT_EQ(r.got, (std::vector<std::string>{"one", "two"}));
}

TEST(QtUdpSocket, a_taken_port_refuses_a_second_bind_unless_both_share_it)
{
    struct Row {
        const char* name;
        bool firstReuse;
        bool secondReuse;
        int expectedCode;
    } rows[] = {
        {"both exclusive", false, false, 10048},
        {"shared, then exclusive", true, false, 10048},
        {"exclusive, then shared", false, true, 10048},
        {"both shared", true, true, 0},
    };
    for (const auto& row : rows) {
        QtUdpSocket first;
        first.bind(0, row.firstReuse);
        QtUdpSocket second;
        EXPECT_EQ(failureCode([&] { second.bind(first.localPort(), row.secondReuse); }), row.expectedCode) << row.name;
        EXPECT_EQ(second.state(), row.expectedCode == 0 ? 1 : 0) << row.name;
    }
}

TEST(QtUdpSocket, ports_outside_the_range_and_a_bind_while_open_are_invalid_arguments)
{
    QtUdpSocket s;
    EXPECT_EQ(failureCode([&] { s.bind(-1); }), 10022);
    EXPECT_EQ(failureCode([&] { s.bind(65536); }), 10022);
    EXPECT_EQ(failureCode([&] { s.setRemotePort(65536); }), 10022);
    EXPECT_EQ(failureCode([&] { s.setRemotePort(-5); }), 10022);
    EXPECT_EQ(s.state(), 0);
    s.bind(0);
    EXPECT_EQ(failureCode([&] { s.bind(0); }), 10022);
    EXPECT_EQ(s.state(), 1);
    EXPECT_EQ(failureCode([&] { s.sendData("no port"); }), 10049);
}

// A further relay target's socket: bound once, its datagrams leave together at the end of the turn,
// in order, and a refusal comes as an error event, never as a lost turn.
TEST(QtUdpSocket, a_batched_socket_sends_a_turns_datagrams_in_order_and_reports_refusals)
{
    Receiver live;
    QtUdpSocket target;
    target.bind(0);
    target.setBatched(true);
    target.setRemoteHost("127.0.0.1");
    target.setRemotePort(closedPort());
    std::vector<int> errors;
    target.onError = [&](int code, const std::string&) { errors.push_back(code); };
    target.sendData("refused");
    ASSERT_TRUE(runEventsUntil([&] { return !errors.empty(); }));
    EXPECT_EQ(errors[0], 10061);

    target.setRemotePort(live.port());
    std::vector<std::string> sent;
    for (int i = 0; i < 600; ++i) {
        sent.push_back("datagram " + std::to_string(i));
        target.sendData(sent.back());
    }
    EXPECT_TRUE(live.got.empty()) << "not before the turn ends";
    target.sendData("the last");
    target.close(); // what was given before the close still goes
    sent.push_back("the last");
    ASSERT_TRUE(runEventsUntil([&] { return live.got.size() == sent.size(); }));
    EXPECT_EQ(live.got, sent);
}

TEST(QtUdpSocket, a_closed_far_port_raises_connection_refused_and_the_socket_goes_on)
{
    struct Row {
        const char* name;
        bool handlerCloses;
    } rows[] = {{"handler closes the socket", true}, {"handler leaves it open", false}};
    for (const auto& row : rows) {
        Receiver live;
        auto s = senderTo("127.0.0.1", closedPort());
        std::vector<int> errors;
        s->onError = [&](int code, const std::string& description) {
            errors.push_back(code);
            EXPECT_EQ(description, "Connection refused");
            if (row.handlerCloses && s->state() != 0) {
                s->close();
            }
        };
        s->sendData("nobody");
        ASSERT_TRUE(runEventsUntil([&] { return !errors.empty(); })) << row.name;
        EXPECT_EQ(errors, (std::vector<int>{10061})) << row.name;
        EXPECT_EQ(s->state(), row.handlerCloses ? 0 : 1) << row.name;

        s->sendData("still nobody");
        ASSERT_TRUE(runEventsUntil([&] { return errors.size() == 2; })) << row.name;
        s->setRemotePort(live.port());
        s->sendData("somebody");
        ASSERT_TRUE(runEventsUntil([&] { return live.got.size() == 1; })) << row.name;
        EXPECT_EQ(live.got[0], "somebody");
        runEventsFor(50);
        EXPECT_EQ(errors.size(), 2u) << row.name;
    }
}

// The way back for a relay target's answer: who sent the datagram taken, whether that was the
// socket's own remote, and a send from the receiving socket to the sender.
TEST(QtUdpSocket, the_sender_of_a_datagram_is_known_and_can_be_answered_from_the_receiving_port)
{
    Receiver radio;
    Receiver server;
    auto relayTarget = senderTo("127.0.0.1", server.port());
    server.socket.setRemoteHost("localhost");
    server.socket.setRemotePort(radio.port());

    radio.socket.setRemoteHost("127.0.0.1");
    radio.socket.setRemotePort(server.port());
    radio.socket.sendData("from the radio");
    ASSERT_TRUE(runEventsUntil([&] { return server.got.size() == 1; }));
    const UdpSocket::Peer radioPeer = server.socket.lastSender();
    EXPECT_EQ(radioPeer, (UdpSocket::Peer{"127.0.0.1", radio.port()}));
    EXPECT_TRUE(server.socket.lastFromRemote()) << "localhost is 127.0.0.1";

    relayTarget->sendData("a stranger");
    ASSERT_TRUE(runEventsUntil([&] { return server.got.size() == 2; }));
    EXPECT_FALSE(server.socket.lastFromRemote());

    server.socket.sendTo(radioPeer, std::string("back\0", 5));
    ASSERT_TRUE(runEventsUntil([&] { return radio.got.size() == 1; }));
    EXPECT_EQ(radio.got[0], std::string("back\0", 5));
    EXPECT_EQ(radio.socket.lastSender().port, server.port()) << "it comes from the port the radio sends to";
    EXPECT_EQ(failureCode([&] { server.socket.sendTo({"not an address", 9}, "x"); }), 10049);
}

TEST(QtUdpSocket, an_unknown_host_name_is_looked_up_without_blocking_and_reports_host_not_found)
{
    auto s = senderTo("no-such-relay-host.invalid", 9);
    std::vector<std::pair<int, std::string>> errors;
    s->onError = [&](int code, const std::string& description) { errors.emplace_back(code, description); };
    s->sendData("first");
    s->sendData("second");
    EXPECT_EQ(s->state(), 1);
    EXPECT_TRUE(errors.empty()) << "the send waited for the look-up";

    ASSERT_TRUE(runEventsUntil([&] { return errors.size() == 2; }, 30000));
    EXPECT_EQ(errors[0], std::make_pair(11001, std::string("Host not found")));
    EXPECT_EQ(errors[1].first, 11001);
    EXPECT_EQ(failureCode([&] { s->sendData("third"); }), 11001);
}

TEST(QtUdpSocket, datagrams_wait_for_a_name_look_up_and_then_go_in_order)
{
    const QString name = QHostInfo::localHostName();
    const QHostInfo known = QHostInfo::fromName(name);
    const auto addresses = known.addresses();
    const auto firstV4 = std::find_if(addresses.begin(), addresses.end(), [](const QHostAddress& a) {
        return a.protocol() == QAbstractSocket::IPv4Protocol;
    });
    if (firstV4 == addresses.end() || !firstV4->isLoopback()) {
        GTEST_SKIP() << "this machine's name does not resolve to a loopback address";
    }
    Receiver r;
    auto s = senderTo(name.toStdString(), r.port());
    std::vector<int> errors;
    s->onError = [&](int code, const std::string&) { errors.push_back(code); };
    s->close();
    for (const char* text : {"one", "two", "three"}) {
        s->sendData(text);
        s->close();
    }
    ASSERT_TRUE(runEventsUntil([&] { return r.got.size() == 3; }, 10000));
    EXPECT_EQ(r.got, (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_TRUE(errors.empty());
    s->sendData("four");
    ASSERT_TRUE(runEventsUntil([&] { return r.got.size() == 4; }));
}

bool joinsWouldReachARealNetwork()
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return true;
    }
    bool found = false;
    for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
        if (i->ifa_addr != nullptr && i->ifa_addr->sa_family == AF_INET && (i->ifa_flags & IFF_UP) != 0 &&
            (i->ifa_flags & IFF_MULTICAST) != 0 && (i->ifa_flags & IFF_LOOPBACK) == 0) {
            found = true;
        }
    }
    ::freeifaddrs(list);
    return found;
}

// Sends to a group the way WSJT-X does by default: out of the loopback interface.
int sendToGroupOnLoopback(const std::string& group, int port, const std::string& bytes)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    in_addr loopback{};
    loopback.s_addr = htonl(INADDR_LOOPBACK);
    int err = 0;
    if (::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback) != 0) {
        err = errno;
    } else {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = ::inet_addr(group.c_str());
        to.sin_port = htons(static_cast<std::uint16_t>(port));
        if (::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
            err = errno;
        }
    }
    ::close(fd);
    return err;
}

TEST(QtUdpSocket, a_joined_group_is_received_from_loopback_and_an_unjoined_one_is_not)
{
    if (!test::networkIsolated() && joinsWouldReachARealNetwork()) {
        GTEST_SKIP() << "joining here would announce the group on a real network";
    }
    std::mt19937 random(std::random_device{}());
    const int x = static_cast<int>(random() % 256);
    const int y = static_cast<int>(random() % 255);
    const std::string joinedGroup = "239.255." + std::to_string(x) + "." + std::to_string(y);
    const std::string otherGroup = "239.255." + std::to_string(x) + "." + std::to_string(y + 1);

    Receiver member(0, true);
    member.socket.joinMulticastGroup(joinedGroup);
    member.socket.joinMulticastGroup("not a group");
    Receiver outsider(0, true);

    const int err = sendToGroupOnLoopback(joinedGroup, member.port(), "to the group");
    if (err == ENETUNREACH || err == ENODEV || err == EADDRNOTAVAIL) {
        GTEST_SKIP() << "no route for multicast here: " << std::strerror(err);
    }
    ASSERT_EQ(err, 0) << std::strerror(err);
    ASSERT_EQ(sendToGroupOnLoopback(otherGroup, outsider.port(), "to nobody"), 0);

    ASSERT_TRUE(runEventsUntil([&] { return member.got.size() == 1; }));
    EXPECT_EQ(member.got[0], "to the group");
    runEventsFor(100);
    EXPECT_TRUE(outsider.got.empty());
}

// Listening on one address with a group: bound to the group and joined on that address's interface,
// the socket hears the group there, and nothing sent straight to its port.
TEST(QtUdpSocket, a_socket_bound_to_its_group_hears_the_group_and_not_its_port)
{
    if (!test::networkIsolated() && joinsWouldReachARealNetwork()) {
        GTEST_SKIP() << "joining here would announce the group on a real network";
    }
    std::mt19937 random(std::random_device{}());
    const std::string group = "239.255." + std::to_string(random() % 256) + "." + std::to_string(random() % 255 + 1);
    QtUdpSocket member;
    std::vector<std::string> got;
    member.onDataArrival = [&](int) { got.push_back(member.getData()); };
    member.bind(0, true, group);
    member.joinMulticastGroup(group, "127.0.0.1");

    const int err = sendToGroupOnLoopback(group, member.localPort(), "to the group");
    if (err == ENETUNREACH || err == ENODEV || err == EADDRNOTAVAIL) {
        GTEST_SKIP() << "no route for multicast here: " << std::strerror(err);
    }
    ASSERT_EQ(err, 0) << std::strerror(err);
    senderTo("127.0.0.1", member.localPort())->sendData("to the port");
    ASSERT_TRUE(runEventsUntil([&] { return !got.empty(); }));
    runEventsFor(100);
    EXPECT_EQ(got, std::vector<std::string>{"to the group"});
    EXPECT_EQ(failureCode([] { QtUdpSocket().bind(0, false, "not an address"); }), 10049);
}

TEST(QtUdpSocket, a_burst_sent_back_to_back_arrives_complete_and_in_order)
{
    constexpr int kCount = 2000;
    Receiver r;
    auto s = senderTo("127.0.0.1", r.port());
    std::vector<std::string> sent;
    for (int i = 0; i < kCount; ++i) {
        sent.push_back("datagram " + std::to_string(i) + std::string(200, '.'));
        s->sendData(sent.back());
    }
    ASSERT_TRUE(runEventsUntil([&] { return r.got.size() == kCount; }, 10000)) << r.got.size() << " arrived";
    EXPECT_TRUE(r.got == sent);
}

TEST(QtUdpSocket, the_arrival_handler_may_close_or_destroy_its_socket)
{
    for (bool destroy : {false, true}) {
        auto receiver = std::make_unique<QtUdpSocket>();
        receiver->bind(0);
        int arrivals = 0;
        receiver->onDataArrival = [&](int) {
            ++arrivals;
            if (destroy) {
                receiver.reset();
            } else {
                receiver->close();
            }
        };
        auto s = senderTo("127.0.0.1", receiver->localPort());
        for (int i = 0; i < 3; ++i) {
            s->sendData("x");
        }
        ASSERT_TRUE(runEventsUntil([&] { return arrivals > 0; })) << destroy;
        runEventsFor(150);
        EXPECT_EQ(arrivals, 1) << destroy;
        EXPECT_EQ(receiver == nullptr, destroy);
    }
}

TEST(QtUdpSocket, a_datagram_the_handler_leaves_is_offered_again_not_lost)
{
    Receiver r;
    int offers = 0;
    r.socket.onDataArrival = [&](int) {
        if (++offers >= 3) {
            r.got.push_back(r.socket.getData());
        }
    };
    auto s = senderTo("127.0.0.1", r.port());
    s->sendData("kept");
    ASSERT_TRUE(runEventsUntil([&] { return r.got.size() == 1; }));
    EXPECT_EQ(r.got[0], "kept");
    EXPECT_EQ(offers, 3);
    runEventsFor(150);
    EXPECT_EQ(offers, 3);
}

} // namespace
} // namespace qf
