// Field decoders and renderings for WSJT-X datagrams (Qt data stream, big-endian). Positions
// count from 1; slices past the end are cut short, a start below 1 or a negative count fails.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qf {

// The up-to-n bytes at position p (1-based). Throws Failure for p < 1 or n < 0.
std::string slice(std::string_view data, std::int64_t p, std::int64_t n);
// Slice positions and counts arrive as wire numbers held in doubles.
std::string slice(std::string_view data, double p, double n);

double bytesToNumber(std::string_view bytes, bool isUnsigned);
// Reads the n bytes at p as a number (a short slice reads the bytes that are there).
double numberAt(std::string_view data, double p, int n, bool isUnsigned);
// The value of the byte at p; fails when there is none.
int byteAt(std::string_view data, double p);

std::string printableText(std::string_view bytes);
std::string hexText(std::string_view bytes);
std::string formatQrg(double hz);

struct CalendarDate {
    int year = 0;
    int month = 0;
    int day = 0;
};
CalendarDate convertJulian(double julianDay);
std::string msToHhmmss(double ms);

// A whole wire number as plain decimal text ("-1", "14074000").
std::string numberText(double value);

// Removes blanks (only blanks) at both ends.
std::string trimBlanks(std::string_view text);

} // namespace qf
