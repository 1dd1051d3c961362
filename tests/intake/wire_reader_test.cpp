#include "intake/wire_reader.h"

#include <gtest/gtest.h>

#include "platform/failure.h"

namespace qf {
namespace {

std::string bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values) {
        s += static_cast<char>(v);
    }
    return s;
}

TEST(WireReader, bytes_to_number_reads_signed_and_unsigned_big_endian)
{
    struct Row {
        const char* name;
        std::string slice;
        bool isUnsigned;
        double expected;
    } rows[] = {
        {"all ones signed", bytes({0xFF, 0xFF, 0xFF, 0xFF}), false, -1},
        {"all ones unsigned", bytes({0xFF, 0xFF, 0xFF, 0xFF}), true, 4294967295.0},
        {"lowest signed", bytes({0x80, 0, 0, 0}), false, -2147483648.0},
        {"highest signed", bytes({0x7F, 0xFF, 0xFF, 0xFF}), false, 2147483647},
        {"highest unsigned", bytes({0x7F, 0xFF, 0xFF, 0xFF}), true, 2147483647},
        {"two", bytes({0, 0, 0, 2}), false, 2},
        {"empty", "", false, 0},
        {"cut short", bytes({0, 1, 0}), false, 256},
        {"two bytes", bytes({1, 2}), true, 258},
        {"dial frequency", bytes({0, 0, 0, 0, 0, 0xD6, 0xC1, 0x90}), true, 14074256},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(bytesToNumber(row.slice, row.isUnsigned), row.expected) << row.name;
    }
}

TEST(WireReader, slice_cuts_short_at_the_end_and_fails_on_bad_arguments)
{
    EXPECT_EQ(slice("ABCDEF", std::int64_t{5}, 4), "EF");
    EXPECT_EQ(slice("ABCDEF", std::int64_t{7}, 4), "");
    EXPECT_EQ(slice("ABCDEF", std::int64_t{1}, 0), "");
    EXPECT_THROW(slice("ABCDEF", std::int64_t{0}, 1), Failure);
    EXPECT_THROW(slice("ABCDEF", std::int64_t{1}, -1), Failure);
    EXPECT_THROW(slice("ABCDEF", 17.0 - 2147483648.0, 4.0), Failure);
    EXPECT_EQ(slice("ABCDEF", 17.0 + 2147483647.0, 4.0), "");
    EXPECT_THROW(byteAt("AB", 3.0), Failure);
    EXPECT_EQ(byteAt("AB", 2.0), 'B');
}

TEST(WireReader, printable_and_hex_text)
{
    EXPECT_EQ(printableText(bytes({0x41, 0x00, 0x7F, 0x42, 0xE9})), "A  B ");
    EXPECT_EQ(hexText(bytes({0x0A, 0xFF, 0x00})), "0A FF 00");
    EXPECT_EQ(hexText(""), "");
    EXPECT_EQ(hexText(bytes({0xAD, 0xBC, 0xCB, 0xDA})), "AD BC CB DA");
}

TEST(WireReader, format_qrg_groups_at_least_seven_digits)
{
    struct Row {
        double hz;
        const char* text;
    } rows[] = {
        {0, ""},
        {14074000, "14,074,000"},
        {474200, "0,474,200"},
        {144174000, "144,174,000"},
        {1836600, "1,836,600"},
        {50313000, "50,313,000"},
        {10368100000.0, "10,368,100,000"},
        {1, "0,000,001"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(formatQrg(row.hz), row.text) << row.hz;
    }
}

TEST(WireReader, convert_julian_gives_the_proleptic_gregorian_date)
{
    struct Row {
        double jd;
        int y, m, d;
    } rows[] = {
        {2451545, 2000, 1, 1},
        {2460000, 2023, 2, 24},
        {2299160, 1582, 10, 14},
        {2461382, 2026, 12, 7},
    };
    for (const auto& row : rows) {
        const CalendarDate c = convertJulian(row.jd);
        EXPECT_EQ(c.year, row.y) << row.jd;
        EXPECT_EQ(c.month, row.m) << row.jd;
        EXPECT_EQ(c.day, row.d) << row.jd;
    }
    EXPECT_THROW(convertJulian(1.8e19), Failure);
}

TEST(WireReader, ms_to_hhmmss)
{
    EXPECT_EQ(msToHhmmss(0), "000000");
    EXPECT_EQ(msToHhmmss(86399999), "235959");
    EXPECT_EQ(msToHhmmss(52215000), "143015");
    EXPECT_EQ(msToHhmmss(65130000), "180530");
}

TEST(WireReader, number_text_and_trim)
{
    EXPECT_EQ(numberText(-1), "-1");
    EXPECT_EQ(numberText(14074000), "14074000");
    EXPECT_EQ(numberText(4294967295.0), "4294967295");
    EXPECT_EQ(trimBlanks("  a b  "), "a b");
    EXPECT_EQ(trimBlanks("   "), "");
}

} // namespace
} // namespace qf
