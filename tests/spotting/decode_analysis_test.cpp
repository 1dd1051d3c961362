#include <gtest/gtest.h>

#include "spotting/decode_analysis.h"
#include "support/program_harness.h"

namespace qf::test {
namespace {

using wsjtx::DatagramBuilder;

TEST(Classification, follows_the_prefix_table)
{
    const struct {
        const char* text;
        const char* kind;
        const char* call;
        const char* locator;
        bool needsMemory;
    } rows[] = {
        // Directed CQ.
        {"CQ DX Q1AAA", "DX", "Q1AAA", "", false},
        {"CQ DX Q1AAA FN42", "DX", "Q1AAA", "FN42", false},
        {"CQ DX Q1AAA FN42HN", "DX", "Q1AAA", "42HN", false},
        {"CQ EU Q1AAA FN42 X", "DX", "Q1AAA", "FN42", false},
        {"CQ AF Q1AAA FN42", "DX", "Q1AAA", "FN42", false},
        {"CQ AS Q1AAA FN42", "DX", "Q1AAA", "FN42", false},
        {"CQ NA Q1AAA FN42", "DX", "Q1AAA", "FN42", false},
        {"CQ SA Q1AAA FN42", "DX", "Q1AAA", "FN42", false},
        {"CQ WW Q1AAA FN42", "DX", "Q1AAA", "FN42", false},
        {"CQ OC Q1AAA FN42", "CQ", "Q1AAA", "FN42", false},
        {"CQ DXX Q1AAA", "CQ", "DXX", "1AAA", false},
        // Contest calls.
        {"CQ TEST Q1AAA", "CQ", "Q1AAA", "", false},
        {"CQ TEST Q1AAA FN42", "CQ", "Q1AAA", "FN42", false},
        {"CQ CMSH Q1AAA FN42 X", "CQ", "Q1AAA", "FN42", false},
        // Plain CQ.
        {"CQ Q1AAA", "CQ", "Q1AAA", "", false},
        {"CQ Q1AAA/P", "CQ", "Q1AAA/P", "", false},
        {"CQ Q1AAA FN42", "CQ", "Q1AAA", "FN42", false},
        {"CQ Q1AAA FN42HN", "CQ", "Q1AAA", "42HN", false},
        {"CQ 290 Q1AAA FN42", "CQ", "Q1AAA", "FN42", false},
        {"CQ 290 Q1AAA FN42 X", "CQ", "Q1AAA", "FN42", false},
        // Directed to an activity or a region: 1 to 4 letters count like a number.
        {"CQ ABC Q1AAA FN42", "CQ", "Q1AAA", "FN42", false},
        {"CQ J Q1AAA FN42HN", "CQ", "Q1AAA", "42HN", false},
        {"CQ POTA Q1AAA FN42 X", "CQ", "Q1AAA", "FN42", false},
        {"CQ POTA Q1AAA", "CQ", "POTA", "1AAA", false},
        {"CQ SOTAS Q1AAA FN42", "CQ", "SOTAS", "Q1AAA", false},
        {"CQ Pota Q1AAA FN42", "CQ", "Pota", "Q1AAA", false},
        {"CQ FD1 Q1AAA FN42", "CQ", "FD1", "Q1AAA", false},
        // QRZ.
        {"QRZ Q1AAA", "QRZ", "Q1AAA", "", false},
        {"QRZ Q1AAA FN42", "QRZ", "Q1AAA", "FN42", false},
        {"QRZ Q1AAA FN42 X", "QRZ", "Q1AAA", "FN42", false},
        // Heard in a QSO: word 2 sends, word 3 decides.
        {"Q9ZZZ Q1AAA EN37", "HRD", "Q1AAA", "EN37", false},
        {"Q9ZZZ Q1AAA en37", "HRD", "Q1AAA", "en37", false},
        {"Q9ZZZ Q1AAA EN37AB", "HRD", "Q1AAA", "EN37AB", false},
        {"Q9ZZZ Q1AAA RR73", "", "Q1AAA", "", true},
        {"Q9ZZZ Q1AAA -15", "", "Q1AAA", "", true},
        {"Q9ZZZ Q1AAA R-15", "", "Q1AAA", "", true},
        {"Q9ZZZ Q1AAA 73", "", "Q1AAA", "", true},
        {"cq Q1AAA FN42", "HRD", "Q1AAA", "FN42", false},
        {"QRZQ1AAA X FN42", "HRD", "X", "FN42", false},
        // Not recognised.
        {"Q9ZZZ Q1AAA R EN37", "", "", "", false},
        {"Q9ZZZ Q1AAA", "", "", "", false},
        {"TNX 73 GL ES", "", "", "", false},
        {"CQ", "", "", "", false},
        {"", "", "", "", false},
    };
    for (const auto& row : rows) {
        const Classification c = classifyText(row.text);
        EXPECT_EQ(c.kind, row.kind) << row.text;
        EXPECT_EQ(c.call, row.call) << row.text;
        EXPECT_EQ(c.locator, row.locator) << row.text;
        EXPECT_EQ(c.needsMemory, row.needsMemory) << row.text;
    }
}

TEST(Classification, blanks_are_trimmed_and_folded_in_one_pass)
{
    EXPECT_EQ(foldBlanks("  CQ  Q1AAA   FN42 "), "CQ Q1AAA  FN42");
    EXPECT_EQ(foldBlanks("A    B"), "A  B");
    EXPECT_EQ(foldBlanks("\tA B\t"), "\tA B\t") << "only blanks are trimmed";
    EXPECT_EQ(foldBlanks("   "), "");
}

class Decodes : public ::testing::Test {
  protected:
    void SetUp() override
    {
        h.readyOperator();
        h.program->startUp();
        h.startMonitoring();
        h.tuneTo();
        h.clearTrace();
    }
    // The trace lines after the decode's MSG_2 line.
    std::vector<std::string> afterMsg2() const
    {
        const auto lines = h.traceLines();
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].starts_with("  MSG_2: ")) {
                return {lines.begin() + static_cast<std::ptrdiff_t>(i) + 1, lines.end()};
            }
        }
        return {};
    }
    void drain() { h.clock.advance(51); }
    ProgramHarness h;
};

TEST_F(Decodes, gates_stop_a_decode_before_it_is_shown_or_counted)
{
    const auto decode = [](bool isNew, const std::string& text) {
        wsjtx::DecodeFields d;
        d.isNew = isNew;
        d.message = text;
        return wsjtx::decodeMessage(d);
    };
    const struct {
        const char* name;
        std::string datagram;
        const char* line;
    } rows[] = {
        {"New flag 0", decode(false, "CQ Q1AAA FN42"), "  Not a new decode"},
        {"New flag 2",
         DatagramBuilder().header(2, 2, "WSJT-X").u8(2).u32(0).i32(-1).f64(0).u32(1).utf8("~").utf8("CQ Q1AAA FN42"),
         "  Not a new decode"},
        {"empty text", decode(true, ""), "  Message too short, skip it"},
        {"6 bytes", decode(true, "CQ Q1A"), "  Message too short, skip it"},
        {"null text",
         DatagramBuilder().header(2, 2, "WSJT-X").u8(1).u32(0).i32(-1).f64(0).u32(1).utf8("~").nullString(),
         "  Message too short, skip it"},
        {"ends before the New flag", DatagramBuilder().header(2, 2, "WSJT-X"), "  Message too short, skip it"},
    };
    for (const auto& row : rows) {
        h.clearTrace();
        h.receive(row.datagram);
        EXPECT_EQ(h.traceLines().back(), row.line) << row.name;
        EXPECT_FALSE(h.traced("  MSG_2: *CQ Q1AAA FN42* (SNR=-12dB / DF=1520 / Mode=126)")) << row.name;
    }
    EXPECT_EQ(h.window().dx.text(), "");
    EXPECT_EQ(h.program->state().decodeCount, 0);
    EXPECT_EQ(h.window().numDecodes.caption(), "");

    h.decode("CQ Q1AB");
    EXPECT_EQ(h.program->state().decodeCount, 1) << "7 bytes are analysed";
    EXPECT_EQ(h.window().numDecodes.caption(), "1 messages decoded");
}

TEST_F(Decodes, the_waiting_gate_holds_until_the_first_status)
{
    ProgramHarness fresh;
    fresh.readyOperator();
    fresh.program->startUp();
    fresh.startMonitoring();
    fresh.clock.advance(16);
    fresh.clearTrace();
    fresh.decode("CQ Q1AAA FN42");
    EXPECT_EQ(fresh.traceLines().back(), "  Still waiting for Frequency/mode");
    EXPECT_EQ(fresh.window().dx.text(), "");
    EXPECT_EQ(fresh.program->state().decodeCount, 0);
}

TEST_F(Decodes, pane_and_trace_lines_carry_the_numbers_as_plain_decimal_text)
{
    h.decode("  CQ  Q1AAA FN42 ", -12, 1234, "~");
    EXPECT_TRUE(h.traced("  MSG_2: *CQ Q1AAA FN42* (SNR=-12dB / DF=1234 / Mode=126)"));
    EXPECT_TRUE(h.window().dx.text().starts_with("\r\nCQ Q1AAA FN42 (SNR=-12dB / DF=1234 / Mode=126)"));

    h.window().dx.clear();
    h.decode("CQ Q2BBB FN42", -2147483647 - 1, 4294967295u, "+");
    EXPECT_TRUE(h.traced("  MSG_2: *CQ Q2BBB FN42* (SNR=-2147483648dB / DF=4294967295 / Mode=43)"));
    EXPECT_TRUE(h.traced("    Sending spot 2 to Orbalis: OMID=Q9ZZZ,OMLOC=FN42HN,QRG=14074000,TXID=Q2BBB,MODE=FT8,"
                         "SNR=-2147483648,DF=4294967295,CQ=CQ,VER=2.16"));
    EXPECT_EQ(h.window().numDecodes.caption(), "2 messages decoded");
}

TEST_F(Decodes, the_mode_character_picks_jt9_and_jt65_and_otherwise_the_mode_label)
{
    const struct {
        const char* modeText;
        const char* modeItem;
        const char* modeName;
    } rows[] = {
        {"~", "126", "FT8"}, {"@", "64", "JT9"}, {"#", "35", "JT65"}, {"@~", "64", "JT9"}, {"\xE9", "233", "FT8"},
    };
    int n = 0;
    for (const auto& row : rows) {
        const std::string call = "Q" + std::to_string(++n) + "AAA";
        h.decode("CQ " + call + " FN42", -5, 700, row.modeText);
        EXPECT_TRUE(h.traced("  MSG_2: *CQ " + call + " FN42* (SNR=-5dB / DF=700 / Mode=" + row.modeItem + ")"))
            << row.modeText;
        EXPECT_TRUE(h.traced("    Sending spot " + std::to_string(n) +
                             " to Orbalis: OMID=Q9ZZZ,OMLOC=FN42HN,QRG=14074000,TXID=" + call +
                             ",MODE=" + row.modeName + ",SNR=-5,DF=700,CQ=CQ,VER=2.16"))
            << row.modeText;
    }
}

TEST_F(Decodes, schema_one_shows_and_hands_on_the_mode_text)
{
    wsjtx::DecodeFields d;
    d.schema = 1;
    d.mode = "JT65";
    d.message = "CQ Q1AAA FN42";
    h.receive(wsjtx::decodeMessage(d));
    EXPECT_TRUE(h.traced("  MSG_2: *CQ Q1AAA FN42* (SNR=-12dB / DF=1520 / Mode=JT65)"));
    EXPECT_TRUE(h.traced("    Sending spot 1 to Orbalis: OMID=Q9ZZZ,OMLOC=FN42HN,QRG=14074000,TXID=Q1AAA,MODE=JT65,"
                         "SNR=-12,DF=1520,CQ=CQ,VER=2.16"));
}

TEST_F(Decodes, the_decode_count_stops_at_its_largest_value_without_a_trace)
{
    h.program->state().decodeCount = 2147483647;
    h.decode("CQ Q1AAA FN42");
    EXPECT_EQ(h.program->state().decodeCount, 2147483647);
    EXPECT_EQ(h.window().numDecodes.caption(), "2147483647 messages decoded");
    for (const auto& line : h.traceLines()) {
        EXPECT_FALSE(line.starts_with("Winsock1.DataArrival: ** Error")) << line;
    }
    EXPECT_EQ(h.program->state().spotCount, 1) << "the rest of the handling goes on";
}

TEST_F(Decodes, a_station_heard_in_a_qso_borrows_its_remembered_locator)
{
    for (const char* text : {"Q9ZZZ Q1AAA RR73", "Q9ZZZ Q1AAA -15", "Q9ZZZ Q1AAA 73"}) {
        h.clearTrace();
        h.decode(text);
        EXPECT_EQ(afterMsg2(), std::vector<std::string>{}) << text << ": unknown station, nothing more";
    }
    EXPECT_EQ(h.program->state().spotCount, 0);

    h.decode("CQ Q1AAA FN42");
    for (const char* text : {"Q9ZZZ Q1AAA RR73", "Q9ZZZ Q1AAA -15", "Q9ZZZ Q1AAA 73"}) {
        h.clearTrace();
        h.decode(text);
        const auto lines = afterMsg2();
        ASSERT_EQ(lines.size(), 2u) << text;
        EXPECT_EQ(lines[0], "  Locator FN42 of Q1AAA assumed from former spot");
        EXPECT_TRUE(lines[1].starts_with("  >>> Time lapse=0 for Callsign=Q1AAA since ")) << lines[1];
        EXPECT_TRUE(h.window().dx.text().ends_with(" (T<15)"));
    }

    h.clock.advance(16 * 60);
    h.clearTrace();
    h.decode("Q9ZZZ Q1AAA RR73", -3, 900);
    EXPECT_TRUE(
        h.traced("    Sending spot 2 to Orbalis: OMID=Q9ZZZ,OMLOC=FN42HN,QRG=14074000,TXID=Q1AAA,MODE=FT8,SNR=-3,"
                 "DF=900,CQ=HRD,VER=2.16"));
}

TEST_F(Decodes, only_cq_keeps_heard_stations_back_but_still_borrows_the_locator)
{
    h.decode("CQ Q1AAA FN42");
    h.window().soloCQ.setChecked(true);
    h.clearTrace();
    h.decode("Q9ZZZ Q1AAA RR73");
    EXPECT_EQ(afterMsg2(), std::vector<std::string>{"  Locator FN42 of Q1AAA assumed from former spot"});
    h.clearTrace();
    h.decode("Q9ZZZ Q2BBB EN37");
    EXPECT_EQ(afterMsg2(), std::vector<std::string>{});
    h.decode("QRZ Q3CCC EN37");
    h.decode("CQ EU Q4DDD JO22");
    EXPECT_EQ(h.program->state().spotCount, 3);

    h.window().soloCQ.setChecked(false);
    h.decode("Q9ZZZ Q2BBB EN37");
    EXPECT_EQ(h.program->state().spotCount, 4);
    EXPECT_TRUE(h.traced("  >>> New Callsign Q2BBB to array. Ind=3, Loc=EN37 >>>"));
}

TEST_F(Decodes, a_missing_or_invalid_locator_is_named_in_trace_and_pane)
{
    h.decode("CQ ABCDE Q1AAA FN42");
    EXPECT_EQ(afterMsg2(), std::vector<std::string>{"  ** Locator Q1AAA not valid"});
    EXPECT_TRUE(h.window().dx.text().ends_with(")\r\n  ** Locator Q1AAA not valid **"));

    h.clearTrace();
    h.decode("CQ Q1AAA");
    EXPECT_EQ(afterMsg2(), std::vector<std::string>{"  ** Locator  not valid"});
    EXPECT_TRUE(h.window().dx.text().ends_with("\r\n  ** Locator  not valid **"));

    h.decode("CQ Q1AAA FN42");
    EXPECT_TRUE(h.traced("  >>> New Callsign Q1AAA to array. Ind=0, Loc=FN42 >>>")) << "nothing was remembered before";
    EXPECT_EQ(h.program->state().decodeCount, 3);

    h.clearTrace();
    h.decode("Q9ZZZ Q1AAA R EN37");
    EXPECT_EQ(afterMsg2(), std::vector<std::string>{});
}

TEST_F(Decodes, the_spot_record_carries_the_text_bytes_unchanged)
{
    const struct {
        std::string text;
        std::string call;
        std::string locator;
    } rows[] = {
        {"CQ Q\xE9\xA0"
         "A FN42",
         "Q\xE9\xA0"
         "A",
         "FN42"},
        {"CQ Q1AA/\xFF fn42", "Q1AA/\xFF", "fn42"},
        {"CQ 290 \xC3\xA9"
         "1AAA JO22",
         "\xC3\xA9"
         "1AAA",
         "JO22"},
    };
    for (const auto& row : rows) {
        h.decode(row.text);
    }
    drain();
    ASSERT_EQ(h.winsock2().sent.size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(h.winsock2().sent[i].bytes,
                  "WSJT|Q9ZZZ|FN42HN|14074000|" + rows[i].call + "|" + rows[i].locator + "|FT8|-12|1520|CQ|2.16")
            << i;
    }
}

TEST_F(Decodes, a_callsign_or_mode_that_would_shift_or_swell_the_record_is_shown_but_not_spotted)
{
    const struct {
        std::string text;
        std::string mode;
        const char* line;
    } rows[] = {
        {"CQ Q1|AA FN42", "FT8", "  ** Station not spotted: its callsign holds \"|\" or a control character"},
        {"CQ Q1\x1F"
         "AA FN42",
         "FT8", "  ** Station not spotted: its callsign holds \"|\" or a control character"},
        {"CQ Q1\x7F"
         "AA FN42",
         "FT8", "  ** Station not spotted: its callsign holds \"|\" or a control character"},
        {"CQ Q1AAA FN42", "FT|8", "  ** Station not spotted: its mode holds \"|\" or a control character"},
        {"CQ Q1AAA FN42", "FT8\x9F", "  ** Station not spotted: its mode holds \"|\" or a control character"},
        {"CQ Q1AAA FN42", "FT8\r\n", "  ** Station not spotted: its mode holds \"|\" or a control character"},
        {"CQ VP2E/DL1ABC/PP FN42", "FT8", "  ** Station not spotted: its callsign is longer than 13 characters"},
        {"CQ Q1AAA FN42", std::string(17, 'M'), "  ** Station not spotted: its mode is longer than 16 characters"},
    };
    for (const auto& row : rows) {
        h.tuneTo(14074000, row.mode);
        h.clearTrace();
        h.decode(row.text);
        EXPECT_EQ(afterMsg2(), std::vector<std::string>{row.line}) << row.text;
        EXPECT_TRUE(h.window().dx.text().ends_with(row.text + " (SNR=-12dB / DF=1520 / Mode=126)")) << row.text;
    }
    EXPECT_EQ(h.program->state().decodeCount, static_cast<std::int32_t>(std::size(rows)));
    EXPECT_EQ(h.program->state().spotCount, 0);
    h.tuneTo();
    h.decode("CQ Q1AAA FN42");
    EXPECT_TRUE(h.traced("  >>> New Callsign Q1AAA to array. Ind=0, Loc=FN42 >>>")) << "nothing was remembered before";
}

TEST_F(Decodes, texts_of_any_length_and_content_never_crash)
{
    const std::string texts[] = {
        std::string(300, 'A'),
        "CQ " + std::string(297, 'B'),
        "CQ DX " + std::string(100, ' ') + "Q1AAA FN42",
        std::string(7, ' '),
        std::string("\0\0\0\0\0\0\0", 7),
        std::string(64, '\xFF'),
        "||||||||",
        "CQ | | |",
        "QRZ      ",
    };
    for (const auto& t : texts) {
        h.decode(t);
    }
    EXPECT_EQ(h.program->state().decodeCount, static_cast<std::int32_t>(std::size(texts)));
    EXPECT_TRUE(h.traced("  MSG_2: *" + std::string(300, 'A') + "* (SNR=-12dB / DF=1520 / Mode=126)"));
}

TEST_F(Decodes, hostile_lengths_end_in_the_length_gate)
{
    const auto withLengths = [](std::uint32_t m, std::uint32_t n) -> std::string {
        return DatagramBuilder()
            .header(2, 2, "WSJT-X")
            .u8(1)
            .u32(0)
            .i32(-7)
            .f64(0)
            .u32(99)
            .u32(m)
            .raw("~")
            .u32(n)
            .raw("CQ Q1AAA FN42");
    };
    const struct {
        const char* name;
        std::string datagram;
    } rows[] = {
        {"null mode", withLengths(0xFFFFFFFF, 13)},          {"huge mode", withLengths(0x7FFFFFFF, 13)},
        {"most negative mode", withLengths(0x80000000, 13)}, {"null text", withLengths(1, 0xFFFFFFFF)},
        {"most negative text", withLengths(1, 0x80000000)},
    };
    for (const auto& row : rows) {
        h.clearTrace();
        h.receive(row.datagram);
        EXPECT_EQ(h.traceLines().back(), "  Message too short, skip it") << row.name;
    }
    EXPECT_EQ(h.program->state().decodeCount, 0);

    h.clearTrace();
    h.receive(withLengths(1, 0x7FFFFFFF)); // the text runs to the end of the datagram
    EXPECT_TRUE(h.traced("  MSG_2: *CQ Q1AAA FN42* (SNR=-7dB / DF=99 / Mode=126)"));
}

TEST_F(Decodes, decodes_cut_at_every_byte_never_crash_or_read_foreign_bytes)
{
    wsjtx::DecodeFields d;
    d.message = "CQ Q1AAA FN42";
    const std::string full = wsjtx::decodeMessage(d);
    for (std::size_t k = 0; k <= full.size(); ++k) {
        h.clearTrace();
        h.receive(full.substr(0, k));
        for (const auto& line : h.traceLines()) {
            if (line.starts_with("  MSG_2: *")) {
                const std::string shown = line.substr(10, line.find('*', 10) - 10);
                EXPECT_TRUE(std::string("CQ Q1AAA FN42").starts_with(shown)) << k << ": " << line;
            }
        }
    }
    EXPECT_EQ(h.program->state().spotCount, 1);
    drain();
    ASSERT_EQ(h.winsock2().sent.size(), 1u);
    EXPECT_EQ(h.winsock2().sent[0].bytes, "WSJT|Q9ZZZ|FN42HN|14074000|Q1AAA|FN42|FT8|-12|1520|CQ|2.16");
}

} // namespace
} // namespace qf::test
