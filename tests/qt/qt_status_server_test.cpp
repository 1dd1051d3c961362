#include "platform/qt/qt_status_server.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "platform/failure.h"
#include "qt_test_support.h"

namespace qf {
namespace {

using test::runEventsFor;
using test::runEventsUntil;

TEST(QtStatusServer, a_port_another_program_listens_on_is_refused_as_in_use)
{
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::LocalHost, 0));
    QtStatusServer server;
    try {
        server.listen("127.0.0.1", other.serverPort());
        FAIL() << "listened on a port in use";
    } catch (const Failure& f) {
        EXPECT_EQ(f.code, 10048);
        EXPECT_EQ(f.description, "Address already in use");
    }
    EXPECT_EQ(server.localPort(), 0);
}

// A stranger's idle connections cannot take every descriptor of the program (its UDP sockets reopen).
TEST(QtStatusServer, connections_past_the_limit_are_closed_as_they_come)
{
    QtStatusServer server;
    server.onRequest = [](const HttpRequest&) {
        HttpReply reply;
        reply.body = "ok";
        return reply;
    };
    server.listen("127.0.0.1", 0);
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i <= QtStatusServer::kMaxConnections; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(server.localPort()));
        ASSERT_TRUE(runEventsUntil([&] { return clients.back()->state() == QAbstractSocket::ConnectedState; }));
        runEventsFor(20); // accepted before the next
    }
    QTcpSocket& last = *clients.back();
    EXPECT_TRUE(runEventsUntil([&] { return last.state() == QAbstractSocket::UnconnectedState; }, 2000));
    QTcpSocket& first = *clients.front();
    first.write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    ASSERT_TRUE(runEventsUntil([&] { return first.bytesAvailable() > 0; }));
    EXPECT_TRUE(first.readAll().startsWith("HTTP/1.1 200 OK\r\n"));
}

} // namespace
} // namespace qf
