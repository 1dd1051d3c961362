#include <gtest/gtest.h>

#include "support/program_harness.h"

namespace qf::test {
namespace {

// What a logger sends when the operator double-clicks a callsign: a Reply naming the radio program.
std::string replyFor(const std::string& id)
{
    return wsjtx::DatagramBuilder().header(2, wsjtx::Reply, id).u32(36000000).i32(-12).utf8("CQ Q1AAA FN42");
}

class Replies : public ::testing::Test {
  protected:
    void SetUp() override
    {
        h.readyOperator("PassReplies=1\r\nMoreRelays=127.0.0.1:2238\r\n");
        h.program->startUp();
        h.startMonitoring();
        h.winsock1().receiveFrom(kRadio, wsjtx::heartbeatMessage("WSJT-X"));
        h.clearTrace();
    }
    FakeUdpSocket& target() { return *h.sockets.at(4); }
    std::vector<std::string> replyLines() const
    {
        std::vector<std::string> lines;
        for (const std::string& line : h.traceLines()) {
            if (line.find(": Reply ") != std::string::npos) {
                lines.push_back(line);
            }
        }
        return lines;
    }
    static inline const UdpSocket::Peer kRadio{"127.0.0.1", 50001};
    ProgramHarness h;
};

TEST_F(Replies, an_answer_of_a_relay_target_goes_unchanged_to_the_radio_program_it_names)
{
    h.winsockServ().receive(replyFor("WSJT-X"));
    target().receive(replyFor("WSJT-X"));
    const std::vector<FakeUdpSocket::Sent> sent = {{"127.0.0.1", 50001, replyFor("WSJT-X")},
                                                   {"127.0.0.1", 50001, replyFor("WSJT-X")}};
    EXPECT_EQ(h.winsock1().sent, sent) << "from the receive socket, the port the radio program sends to";
    const std::vector<std::string> lines = {"WinsockServ: Reply passed to WSJT-X at 127.0.0.1:50001",
                                            "WinsockServ[127.0.0.1:2238]: Reply passed to WSJT-X at 127.0.0.1:50001"};
    EXPECT_EQ(replyLines(), lines);
}

// A crafted Id cannot start a trace line of its own in the lines that name it beyond the Parts.
TEST_F(Replies, control_bytes_of_an_id_are_escaped_in_the_lines_that_name_it)
{
    const std::string id = "A\r\nWinsockServ: Reply passed to X";
    const std::string shown = "A\\x0D\\x0AWinsockServ: Reply passed to X";
    wsjtx::StatusFields s;
    s.id = id;
    h.winsock1().receiveFrom({"127.0.0.1", 50002}, wsjtx::statusMessage(s));
    h.winsockServ().receive(replyFor(id));
    EXPECT_TRUE(h.traced("  MSG_1: QRG=14.074.000 / Mode=FT8 (QRG changed) / Id=" + shown));
    EXPECT_TRUE(h.traced("WinsockServ: Reply passed to " + shown + " at 127.0.0.1:50002"));
}

TEST_F(Replies, everything_else_is_dropped_with_the_reason)
{
    const struct {
        const char* name;
        std::function<void(ProgramHarness&)> arrange;
        UdpSocket::Peer from; // empty: the relay target itself
        std::string bytes;
        const char* line; // empty: not even traced as a reply
    } rows[] = {
        {"a stranger who found the relay's port",
         nullptr,
         {"127.0.0.2", 52237},
         replyFor("WSJT-X"),
         "WinsockServ: Reply not passed: it came from 127.0.0.2:52237, not from the relay target"},
        {"the target's host from another port",
         nullptr,
         {"127.0.0.1", 4000},
         replyFor("WSJT-X"),
         "WinsockServ: Reply not passed: it came from 127.0.0.1:4000, not from the relay target"},
        {"not a WSJT-X message", nullptr, {}, "HELLO", "WinsockServ: Reply not passed: not a WSJT-X message"},
        {"an Id never heard",
         nullptr,
         {},
         replyFor("JTDX"),
         "WinsockServ: Reply not passed: no instance with Id JTDX has been heard"},
        {"monitoring off",
         [](ProgramHarness& p) { p.window().start.click(); },
         {},
         replyFor("WSJT-X"),
         "WinsockServ: Reply not passed: monitoring is off"},
        {"the option off",
         [](ProgramHarness& p) { p.window().passReplies.setChecked(false); },
         {},
         replyFor("WSJT-X"),
         ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        h.window().passReplies.setChecked(true);
        h.startMonitoring();
        if (row.arrange) {
            row.arrange(h);
        }
        h.clearTrace();
        if (row.from.address.empty()) {
            h.winsockServ().receive(row.bytes);
        } else {
            h.winsockServ().receiveFrom(row.from, row.bytes);
        }
        EXPECT_TRUE(h.winsock1().sent.empty());
        EXPECT_EQ(replyLines(), row.line[0] ? std::vector<std::string>{row.line} : std::vector<std::string>{});
        EXPECT_TRUE(h.traced("WinsockServ: Recibido: " + row.bytes)) << "traced as an answer always is";
    }
}

TEST_F(Replies, nothing_is_passed_during_the_watchdogs_restart_pause)
{
    for (int s = 0; s < 8 * 60 && !h.window().inputHeld(); ++s) {
        h.clock.advance(1);
    }
    ASSERT_TRUE(h.window().inputHeld()) << "the watchdog restarted";
    h.clearTrace();
    target().receive(replyFor("WSJT-X"));
    EXPECT_EQ(replyLines(),
              std::vector<std::string>{"WinsockServ[127.0.0.1:2238]: Reply not passed: monitoring is being restarted"});
    h.clock.advance(5);
    EXPECT_FALSE(h.window().inputHeld());
    EXPECT_TRUE(h.winsock1().sent.empty()) << "not passed late either";
}

} // namespace
} // namespace qf::test
