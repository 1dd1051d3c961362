#include "spotting/locator.h"

#include <gtest/gtest.h>

namespace qf {
namespace {

TEST(Locator, strict_and_lenient_forms)
{
    struct Row {
        const char* text;
        bool strict;
        bool lenient;
    } rows[] = {
        {"JM19HN", true, true},   {"jm19hn", false, true},     {"Jm19hN", false, true}, {"JM19", false, true},
        {"jm19", false, true},    {"AA00AA", true, true},      {"RR99XX", true, true},  {"SA00AA", false, false},
        {"JM19HY", false, false}, {"JM1AHN", false, false},    {"RR73", false, true},   {"JM19HN12", false, false},
        {"JM19H", false, false},  {"JM19 ", false, false},     {" JM19", false, false}, {"", false, false},
        {"JM 9HN", false, false}, {"JM19\xC9N", false, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(isValidLocator6(row.text), row.strict) << '"' << row.text << '"';
        EXPECT_EQ(isValidLocator(row.text), row.lenient) << '"' << row.text << '"';
    }
}

} // namespace
} // namespace qf
