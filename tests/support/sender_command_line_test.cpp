#include "quillfeed-send/command_line.h"

#include <gtest/gtest.h>

namespace qf::send {
namespace {

TEST(SenderCommandLine, refuses_bad_arguments_with_a_message)
{
    struct Row {
        std::vector<std::string> args;
        std::string expected; // part of the message
    } rows[] = {
        {{}, "no command"},
        {{"beacon"}, "unknown command 'beacon'"},
        {{"--port", "0", "heartbeat"}, "port"},
        {{"--port", "65536", "heartbeat"}, "port"},
        {{"--port", "22x", "heartbeat"}, "port"},
        {{"--port", "+22", "heartbeat"}, "port"},
        {{"--schema", "1", "heartbeat"}, "schema"},
        {{"--multicast-ttl", "256", "heartbeat"}, "TTL"},
        {{"--from-port", "0", "heartbeat"}, "local port"},
        {{"--host", "", "heartbeat"}, "host"},
        {{"heartbeat", "--port"}, "needs a value"},
        {{"--dial", "7074000", "status"}, "go after it"},
        {{"status", "--dial", "-1"}, "dial"},
        {{"status", "--snr", "3"}, "for status"},
        {{"decode"}, "exactly one TEXT"},
        {{"decode", "CQ", "Q1AAA"}, "exactly one TEXT"},
        {{"decode", "--snr", "99999999999", "X"}, "SNR"},
        {{"decode", "--time", "240000", "X"}, "HHMMSS"},
        {{"decode", "--time", "12:00:00", "X"}, "HHMMSS"},
        {{"decode", "--not-new=1", "X"}, "takes no value"},
        {{"qso", "--date-off", "2025-02-29"}, "YYYY-MM-DD"},
        {{"qso", "--date-off", "2026-12-7"}, "YYYY-MM-DD"},
        {{"qso", "--time-off", "18:60:00"}, "HH:MM:SS"},
        {{"raw"}, "HEX"},
        {{"raw", "ADB"}, "hexadecimal"},
        {{"raw", "0xAD"}, "hexadecimal"},
        {{"session", "--cycles", "0"}, "cycles"},
        {{"session", "now"}, "takes no argument"},
        {{"burst"}, "--count"},
        {{"burst", "--count", "10", "--rate", "0"}, "rate"},
    };
    for (const auto& row : rows) {
        const auto result = parseCommandLine(row.args);
        EXPECT_FALSE(result.help);
        EXPECT_NE(result.error.find(row.expected), std::string::npos)
            << testing::PrintToString(row.args) << " gave '" << result.error << "'";
    }
}

TEST(SenderCommandLine, reads_every_option_in_both_forms_and_anywhere)
{
    const auto result =
        parseCommandLine({"decode", "--snr=-7", "--df", "2999", "--port=22370", "--mode-char", "@", "--not-new",
                          "--time", "235945", "--schema", "3", "--id", "JTDX", "--", "--weird text"});
    ASSERT_EQ(result.error, "");
    const auto& inv = result.invocation;
    EXPECT_EQ(inv.command, Command::Decode);
    EXPECT_EQ(inv.target.port, 22370);
    EXPECT_EQ(inv.target.schema, 3);
    EXPECT_EQ(inv.target.id, "JTDX");
    EXPECT_EQ(inv.target.host, "127.0.0.1");
    EXPECT_EQ(inv.decode.snr, -7);
    EXPECT_EQ(inv.decode.df, 2999u);
    EXPECT_EQ(inv.decode.modeChar, "@");
    EXPECT_FALSE(inv.decode.isNew);
    EXPECT_EQ(inv.decode.timeMs, ((23u * 60 + 59) * 60 + 45) * 1000);
    EXPECT_EQ(inv.decode.text, "--weird text");

    // A report is a decode text, not an option.
    EXPECT_EQ(parseCommandLine({"decode", "-15"}).invocation.decode.text, "-15");
    EXPECT_TRUE(parseCommandLine({"status", "--help"}).help);
}

TEST(SenderCommandLine, qso_dates_become_julian_days_and_times_milliseconds)
{
    const auto result = parseCommandLine({"qso", "--date-off", "2026-12-07", "--time-off", "18:05:30", "--dx-call",
                                          "Q1SSS", "--tx-hz", "10368100000", "--no-exchange"});
    ASSERT_EQ(result.error, "");
    const auto& qso = result.invocation.qso;
    EXPECT_EQ(qso.dateOff, 2461382u);
    EXPECT_EQ(qso.timeOff, 65130000u);
    EXPECT_EQ(qso.fields.dxCall, "Q1SSS");
    EXPECT_EQ(qso.fields.txFrequency, 10368100000u);
    EXPECT_FALSE(qso.fields.withExchange);

    EXPECT_EQ(wsjtx::julianDay(2000, 1, 1), 2451545u);
    EXPECT_EQ(wsjtx::julianDay(2024, 2, 29), 2460370u);
    EXPECT_EQ(wsjtx::julianDay(2023, 2, 29), 0u);
}

TEST(SenderCommandLine, raw_takes_hex_with_blanks_and_an_empty_datagram)
{
    EXPECT_EQ(parseCommandLine({"raw", "ADBCCBDA 00000004"}).invocation.rawBytes,
              std::string("\xAD\xBC\xCB\xDA\x00\x00\x00\x04", 8));
    EXPECT_EQ(parseCommandLine({"raw", "41a2"}).invocation.rawBytes, "\x41\xA2");
    const auto empty = parseCommandLine({"raw", ""});
    EXPECT_EQ(empty.error, "");
    EXPECT_EQ(empty.invocation.rawBytes, "");
}

} // namespace
} // namespace qf::send
