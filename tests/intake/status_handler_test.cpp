#include <gtest/gtest.h>

#include "support/program_harness.h"

namespace qf::test {
namespace {

using wsjtx::DatagramBuilder;

class Status : public ::testing::Test {
  protected:
    void SetUp() override
    {
        h.readyOperator();
        h.program->startUp();
        h.startMonitoring();
        h.clearTrace();
    }
    void status(std::uint64_t hz, const std::string& mode = "FT8")
    {
        wsjtx::StatusFields s;
        s.dialHz = hz;
        s.mode = mode;
        h.receive(wsjtx::statusMessage(s));
    }
    const Instance& radio() { return *h.program->instances().find("WSJT-X"); }
    ProgramHarness h;
};

TEST_F(Status, the_first_status_shows_frequency_and_mode_and_counts_as_a_change)
{
    const std::string datagram = std::string("\xAD\xBC\xCB\xDA\0\0\0\x02\0\0\0\x01\0\0\0\x06WSJT-X", 22) +
                                 std::string("\0\0\0\0\0\xD6\xC0\x90\0\0\0\x03"
                                             "FT8",
                                             15) +
                                 std::string("\0\0\0\0\0\0\0\0", 8);
    h.clock.advance(30);
    h.receive(datagram);
    EXPECT_EQ(radio().qrg, 14074000.0);
    EXPECT_EQ(h.window().qrg.caption(), "14.074.000");
    EXPECT_EQ(h.window().mode.caption(), "FT8");
    EXPECT_EQ(radio().lastQrgChange, h.clock.now());
    EXPECT_TRUE(h.traced("  MSG_1: QRG=14.074.000 / Mode=FT8 (QRG changed)"));
    EXPECT_EQ(h.window().dx.text(), "") << "no warning for FT8";
}

TEST_F(Status, the_same_frequency_again_is_not_a_change_and_one_hertz_is)
{
    status(14074000);
    const DateTime changed = h.clock.now();
    h.clock.advance(20);
    status(14074000, "FT4");
    EXPECT_EQ(radio().lastQrgChange, changed);
    EXPECT_EQ(h.window().mode.caption(), "FT4");
    EXPECT_TRUE(h.traced("  MSG_1: QRG=14.074.000 / Mode=FT4 (QRG not changed)"));

    h.clock.advance(20);
    status(14074001);
    EXPECT_EQ(radio().lastQrgChange, h.clock.now());
    EXPECT_TRUE(h.traced("  MSG_1: QRG=14.074.001 / Mode=FT8 (QRG changed)"));
}

TEST_F(Status, frequencies_are_grouped_with_points)
{
    const struct {
        std::uint64_t hz;
        const char* shown;
    } rows[] = {
        {474200, "0.474.200"},
        {1, "0.000.001"},
        {144174000, "144.174.000"},
        {2147483648ULL, "2.147.483.648"},
        {10368100000ULL, "10.368.100.000"},
        {0, ""},
    };
    for (const auto& row : rows) {
        status(row.hz);
        EXPECT_EQ(h.window().qrg.caption(), row.shown) << row.hz;
        EXPECT_EQ(radio().qrg, static_cast<double>(row.hz));
        EXPECT_TRUE(h.traced("  MSG_1: QRG=" + std::string(row.shown) + " / Mode=FT8 (QRG changed)")) << row.hz;
    }
}

TEST_F(Status, frequency_zero_opens_the_frequency_gate)
{
    status(0);
    h.clock.advance(16);
    h.decode("CQ Q1AAA FN42");
    EXPECT_FALSE(h.traced("  Still waiting for Frequency/mode"));
    EXPECT_TRUE(h.traced("  MSG_2: *CQ Q1AAA FN42* (SNR=-12dB / DF=1520 / Mode=126)"));
}

TEST_F(Status, wspr_is_warned_about_at_every_status_and_only_in_exactly_that_spelling)
{
    const std::string warning =
        "\r\n** Quillfeed is not for WSPR. Orbalis already take WSPR spots from the WSPR network";
    status(14095600, "WSPR");
    status(14095600, "WSPR");
    EXPECT_EQ(h.window().dx.text(), warning + warning);
    EXPECT_EQ(h.window().mode.caption(), "WSPR");
    EXPECT_TRUE(h.traced("  MSG_1: QRG=14.095.600 / Mode=WSPR (QRG not changed)"));

    h.window().dx.clear();
    for (const char* mode : {"wspr", "WSPR ", "WSP", "FST4W"}) {
        status(14095600, mode);
        EXPECT_EQ(h.window().mode.caption(), mode);
    }
    EXPECT_EQ(h.window().dx.text(), "");
}

TEST_F(Status, a_null_mode_fails_its_step_and_leaves_the_mode_empty)
{
    status(7074000, "FT8");
    h.clearTrace();
    const std::string datagram = DatagramBuilder().header(2, 1, "WSJT-X").u64(7074000).nullString().utf8("");
    h.receive(datagram);
    EXPECT_EQ(h.window().mode.caption(), "");
    EXPECT_EQ(h.window().qrg.caption(), "7.074.000");
    const auto lines = h.traceLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Winsock1.DataArrival: ** Error 5 - Invalid procedure call or argument");
    EXPECT_EQ(lines.back(), "  MSG_1: QRG=7.074.000 / Mode= (QRG not changed)");
}

TEST_F(Status, a_status_cut_short_reads_what_is_there)
{
    const std::string full = DatagramBuilder().header(2, 1, "WSJT-X").u64(14074000).utf8("FT8");
    const std::size_t afterQrg = 22 + 8;
    const struct {
        std::size_t length;
        const char* mode;
    } rows[] = {
        {afterQrg, ""},     {afterQrg + 3, ""}, // three of the four length bytes read as 0
        {afterQrg + 4, ""}, {afterQrg + 6, "FT"}, {afterQrg + 7, "FT8"},
    };
    for (const auto& row : rows) {
        h.window().mode.setCaption("x");
        h.receive(full.substr(0, row.length));
        EXPECT_EQ(h.window().mode.caption(), row.mode) << row.length;
        EXPECT_EQ(h.window().qrg.caption(), "14.074.000") << row.length;
    }
}

TEST_F(Status, mode_bytes_are_shown_as_received)
{
    const std::string mode("F\xE9\x01|T", 5);
    status(14074000, mode);
    EXPECT_EQ(h.window().mode.caption(), mode);
    EXPECT_TRUE(h.traced("  MSG_1: QRG=14.074.000 / Mode=" + mode + " (QRG changed)"));
}

TEST_F(Status, a_frequency_change_resets_nothing_but_the_change_time)
{
    h.tuneTo(14074000);
    h.decode("CQ Q1AAA FN42");
    const std::string dx = h.window().dx.text();
    const std::string spots = h.window().spots.text();
    ASSERT_EQ(h.program->state().decodeCount, 1);
    ASSERT_EQ(h.program->state().spotCount, 1);

    h.tuneTo(7074000);
    EXPECT_EQ(h.window().dx.text(), dx);
    EXPECT_EQ(h.window().spots.text(), spots);
    EXPECT_EQ(h.program->state().decodeCount, 1);
    EXPECT_EQ(h.program->state().spotCount, 1);
    h.decode("CQ Q1AAA FN42");
    EXPECT_TRUE(h.window().dx.text().ends_with(" (T<15)")) << "the station is still remembered";
}

} // namespace
} // namespace qf::test
