#include <gtest/gtest.h>

#include "support/program_harness.h"

namespace qf::test {
namespace {

class RelayEvents : public ::testing::Test {
  protected:
    void SetUp() override
    {
        h.readyOperator();
        h.program->startUp();
        h.startMonitoring();
        ASSERT_EQ(h.winsockServ().state(), 1) << "the set-up opened the relay socket";
        h.clearTrace();
        h.winsockServ().log.clear();
    }
    ProgramHarness h;
};

TEST_F(RelayEvents, an_answer_from_the_relay_target_is_traced_and_dropped)
{
    h.winsockServ().receive("HELLO WORLD!");
    const std::vector<std::string> expected = {
        "WinsockServ: DataArrival: bytesTotal= 12, WinsockServ.State= 1",
        "WinsockServ: Recibido: HELLO WORLD!",
    };
    EXPECT_EQ(h.traceLines(), expected);
    EXPECT_EQ(h.window().log.text(), "");
    EXPECT_EQ(h.window().dx.text(), "");
    EXPECT_TRUE(h.winsockServ().sent.empty());
    EXPECT_TRUE(h.winsock1().sent.empty()) << "nothing goes back to the radio program";
}

TEST_F(RelayEvents, an_error_on_the_open_socket_closes_it_and_the_next_datagram_is_relayed)
{
    h.winsockServ().raiseError(10061, "Connection refused");
    EXPECT_EQ(h.traceLines(), std::vector<std::string>{"WinSockServ: Error (10061) Connection refused"});
    EXPECT_EQ(h.winsockServ().state(), 0);
    EXPECT_EQ(h.winsockServ().log, std::vector<std::string>{"close"});

    h.receive(wsjtx::heartbeatMessage());
    ASSERT_EQ(h.winsockServ().sent.size(), 1u);
    EXPECT_EQ(h.winsockServ().sent[0].bytes, wsjtx::heartbeatMessage());
    EXPECT_EQ(h.winsockServ().sent[0].host, "127.0.0.1");
    EXPECT_EQ(h.winsockServ().sent[0].port, 52237);
}

TEST_F(RelayEvents, an_error_on_the_closed_socket_is_only_traced)
{
    h.winsockServ().forceOpen(false);
    h.winsockServ().raiseError(-5, "odd");
    EXPECT_EQ(h.traceLines(), std::vector<std::string>{"WinSockServ: Error (-5) odd"});
    EXPECT_TRUE(h.winsockServ().log.empty()) << "not closed again";
}

TEST_F(RelayEvents, send_complete_is_traced)
{
    ASSERT_TRUE(h.winsockServ().onSendComplete);
    h.winsockServ().onSendComplete();
    EXPECT_EQ(h.traceLines(), std::vector<std::string>{"WinsockServ: SendComplete"});
}

TEST_F(RelayEvents, a_failure_taking_the_answer_is_traced_and_later_datagrams_are_still_relayed)
{
    h.winsockServ().receiveFailure = Failure(10040, "Message too long");
    h.winsockServ().receive("x");
    const std::vector<std::string> expected = {
        "WinsockServ: DataArrival: bytesTotal= 1, WinsockServ.State= 1",
        "WinsockServ: DataArrival: ** Error 10040 - Message too long",
        "WinsockServ: Recibido: ",
    };
    EXPECT_EQ(h.traceLines(), expected);

    h.receive("first");
    h.receive("second");
    ASSERT_EQ(h.winsockServ().sent.size(), 2u);
    EXPECT_EQ(h.winsockServ().sent[0].bytes, "first");
    EXPECT_EQ(h.winsockServ().sent[1].bytes, "second");
}

} // namespace
} // namespace qf::test
