#include <gtest/gtest.h>

#include "support/program_harness.h"

namespace qf::test {
namespace {

using wsjtx::DatagramBuilder;

class Intake : public ::testing::Test {
  protected:
    void SetUp() override
    {
        h.readyOperator();
        h.program->startUp();
        h.startMonitoring();
        ASSERT_EQ(h.window().start.caption(), kStopCaption);
        h.clearTrace();
    }
    ProgramHarness h;
};

TEST_F(Intake, every_datagram_is_relayed_unchanged_before_any_check)
{
    const std::string datagrams[] = {
        "",
        "A",
        "ABCD",
        std::string("\xAD\xBC\xCB\xDA", 4),
        DatagramBuilder().header(4, 1, "WSJT-X"),
        DatagramBuilder().header(2, 0, "WSJT-X"),
        wsjtx::heartbeatMessage(),
        std::string(65507, '\x01'),
    };
    for (const auto& d : datagrams) {
        h.receive(d);
    }
    ASSERT_EQ(h.winsockServ().sent.size(), std::size(datagrams));
    for (std::size_t i = 0; i < std::size(datagrams); ++i) {
        EXPECT_EQ(h.winsockServ().sent[i].bytes, datagrams[i]) << i;
        EXPECT_EQ(h.winsockServ().sent[i].host, "127.0.0.1");
        EXPECT_EQ(h.winsockServ().sent[i].port, 52237);
    }
}

TEST_F(Intake, an_empty_datagram_is_shown_traced_and_rejected_at_the_magic_check)
{
    h.receive("");
    EXPECT_EQ(h.window().log.text(), "\r\n");
    EXPECT_EQ(h.window().dx.text(), "\r\nMessage ID () does not correspond to WSJT-X");
    const std::vector<std::string> expected = {
        "Entering Winsock1.DataArrival",
        "Rcvd **",
        "  []",
        "    WinsockServ.Close",
        "    WinsockServ.SendData",
        "  Message ID () does not correspond to WSJT-X",
    };
    EXPECT_EQ(h.traceLines(), expected);
}

TEST_F(Intake, header_checks_name_what_they_found)
{
    struct Row {
        const char* name;
        std::string datagram;
        std::string dxLine;
        std::string logLine;
    } rows[] = {
        {"bad magic", "ABCDEFGH", "Message ID (41 42 43 44) does not correspond to WSJT-X", "ABCDEFGH"},
        {"short magic", std::string("\xAD\xBC", 2), "Message ID (AD BC) does not correspond to WSJT-X", ""},
        {"magic only", std::string("\xAD\xBC\xCB\xDA", 4), "Message schema (0) does not correspond to WSJT-X", ""},
        {"schema cut short", std::string("\xAD\xBC\xCB\xDA\x00\x04", 6),
         "Message schema (4) does not correspond to WSJT-X", ""},
        {"schema 4", DatagramBuilder().header(4, 1, "WSJT-X"), "Message schema (4) does not correspond to WSJT-X", ""},
        {"schema 0", DatagramBuilder().header(0, 1, "WSJT-X"), "Message schema (0) does not correspond to WSJT-X", ""},
        {"schema -1", DatagramBuilder().u32(wsjtx::kMagic).i32(-1), "Message schema (-1) does not correspond to WSJT-X",
         ""},
    };
    for (const auto& row : rows) {
        h.window().dx.clear();
        h.clearTrace();
        h.receive(row.datagram);
        EXPECT_EQ(h.window().dx.text(), "\r\n" + row.dxLine) << row.name;
        EXPECT_TRUE(h.traced("  " + row.dxLine)) << row.name;
    }
}

TEST_F(Intake, discarded_types_are_marked_in_the_raw_pane_and_traced)
{
    h.receive(wsjtx::heartbeatMessage());
    EXPECT_NE(h.window().log.text().find(" [MSG:0]"), std::string::npos);
    EXPECT_TRUE(h.traced("  Message type=0 discarded"));
    h.receive(DatagramBuilder().header(2, -7, "X"));
    EXPECT_TRUE(h.traced("  Message type=-7 discarded"));
}

TEST_F(Intake, raw_pane_shows_the_printable_form_trimmed)
{
    h.receive(std::string("  A\x01"
                          "B\xE9  ",
                          8));
    EXPECT_EQ(h.window().log.text(), "\r\nA B");
    EXPECT_TRUE(h.traced("Rcvd *" +
                         std::string("  A\x01"
                                     "B\xE9  ",
                                     8) +
                         "*"));
    EXPECT_TRUE(h.traced("  [20 20 41 01 42 E9 20 20]"));
}

TEST_F(Intake, panes_over_twenty_thousand_characters_are_emptied_before_the_append)
{
    h.window().log.append(std::string(20000, 'x'));
    h.receive("A");
    EXPECT_EQ(h.window().log.length(), 20003u) << "20000 is kept";
    h.receive("B");
    EXPECT_EQ(h.window().log.text(), "\r\nB");

    h.window().dx.clear();
    h.window().dx.append(std::string(20001, 'x'));
    h.receive("C");
    EXPECT_EQ(h.window().dx.text(), "\r\nMessage ID (43) does not correspond to WSJT-X");
}

TEST_F(Intake, decodes_are_held_for_fifteen_seconds_after_a_frequency_change)
{
    wsjtx::StatusFields s;
    h.receive(wsjtx::statusMessage(s));
    h.clock.advance(15);
    h.decode("CQ Q1AAA FN42");
    EXPECT_TRUE(h.traced("  Message type=2 discarded"));
    h.clock.advance(1);
    h.clearTrace();
    h.decode("CQ Q1AAA FN42");
    EXPECT_FALSE(h.traced("  Message type=2 discarded"));
    EXPECT_TRUE(h.traced("  MSG_2: *CQ Q1AAA FN42* (SNR=-12dB / DF=1520 / Mode=126)"));
}

TEST_F(Intake, a_decode_before_any_status_waits_for_the_frequency)
{
    h.clock.advance(16);
    h.decode("CQ Q1AAA FN42");
    EXPECT_TRUE(h.traced("  Still waiting for Frequency/mode"));
    EXPECT_EQ(h.window().numDecodes.caption(), "");
}

TEST_F(Intake, last_frame_time_is_stamped_for_every_datagram)
{
    h.clock.advance(42);
    h.receive("junk");
    EXPECT_EQ(h.program->state().lastFrameTime, h.clock.now());
}

TEST_F(Intake, hostile_id_lengths_never_read_outside_the_datagram)
{
    for (std::int32_t idLen : {-1, -2147483647 - 1, 2147483647, 100000}) {
        for (int type : {1, 2, 5}) {
            std::string d = DatagramBuilder().u32(wsjtx::kMagic).i32(2).i32(type).i32(idLen).raw("WSJT-X").u8(1).u32(0);
            h.receive(d);
        }
    }
    EXPECT_EQ(h.winsockServ().sent.size(), 12u);
}

TEST_F(Intake, a_relay_send_failure_is_traced_and_the_datagram_still_handled)
{
    h.winsockServ().sendFailure = Failure(10051, "Network is unreachable");
    h.receive(wsjtx::heartbeatMessage());
    EXPECT_TRUE(h.traced("Winsock1.DataArrival: ** Error 10051 - Network is unreachable"));
    EXPECT_TRUE(h.traced("  Message type=0 discarded"));
}

TEST_F(Intake, with_one_relay_field_empty_nothing_is_relayed)
{
    h.startMonitoring();
    h.window().start.click(); // stop, so the field may change
    h.window().servPort.setText("");
    h.window().start.click();
    h.clearTrace();
    h.receive("x");
    EXPECT_TRUE(h.winsockServ().sent.empty());
    EXPECT_FALSE(h.traced("    WinsockServ.Close"));
}

} // namespace
} // namespace qf::test
