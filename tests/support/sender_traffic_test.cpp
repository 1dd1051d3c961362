#include "quillfeed-send/traffic.h"

#include <gtest/gtest.h>

#include <set>

#include "intake/wire_reader.h"
#include "spotting/locator.h"

namespace qf::send {
namespace {

// The fields a listener reads, taken from the bytes rather than from the labels.
struct Read {
    int schema = 0;
    int type = -1;
    std::string id;
    std::size_t body = 0; // 0-based offset of the first body field
};

std::uint64_t number(const std::string& d, std::size_t at, int n)
{
    return static_cast<std::uint64_t>(bytesToNumber(d.substr(at, n), true));
}

std::string text(const std::string& d, std::size_t& at)
{
    const auto n = number(d, at, 4);
    std::string s = d.substr(at + 4, n);
    at += 4 + n;
    return s;
}

Read header(const std::string& d)
{
    Read r;
    r.schema = static_cast<int>(number(d, 4, 4));
    r.type = static_cast<int>(number(d, 8, 4));
    std::size_t at = 12;
    r.id = text(d, at);
    r.body = at;
    return r;
}

struct Decode {
    bool isNew;
    std::uint32_t timeMs;
    std::string message;
};

Decode decodeOf(const std::string& d)
{
    std::size_t at = header(d).body;
    Decode out{d[at] == 1, static_cast<std::uint32_t>(number(d, at + 1, 4)), {}};
    at += 1 + 4 + 4 + 8 + 4;
    text(d, at); // mode
    out.message = text(d, at);
    EXPECT_EQ(at + 2, d.size()) << "low confidence and off air close a decode";
    return out;
}

std::uint64_t dialOf(const std::string& d)
{
    return number(d, header(d).body, 8);
}

const Target kTarget{"127.0.0.1", 2237, 3, "JTDX", 1};
const UtcTime kNoon{2461382, 12 * 3600 * 1000 + 3500};

TEST(SenderTraffic, session_waits_out_the_hold_after_every_frequency_change)
{
    for (std::uint32_t cycles : {1u, 2u}) {
        const auto steps = sessionScript(kTarget, {1000, cycles, false}, kNoon);
        std::uint64_t now = 0;
        std::uint64_t lastChange = 0;
        std::uint64_t lastDial = 0;
        int decodes = 0;
        for (const auto& step : steps) {
            now += step.waitMs;
            const auto h = header(step.bytes);
            EXPECT_EQ(h.schema, 3);
            EXPECT_EQ(h.id, "JTDX");
            if (h.type == wsjtx::Status && dialOf(step.bytes) != lastDial) {
                lastDial = dialOf(step.bytes);
                lastChange = now;
            }
            if (h.type == wsjtx::Decode) {
                ++decodes;
                EXPECT_GE(now - lastChange, 16000u) << step.label;
            }
        }
        EXPECT_EQ(lastDial, kSecondDialHz);
        EXPECT_EQ(header(steps.back().bytes).type, wsjtx::QsoLogged);
        EXPECT_EQ(decodes, 18 * static_cast<int>(cycles) + 3);
    }
}

TEST(SenderTraffic, session_pace_and_quick_shorten_every_wait)
{
    const auto normal = sessionScript(kTarget, {}, kNoon);
    const auto paced = sessionScript(kTarget, {100, 1, false}, kNoon);
    const auto quick = sessionScript(kTarget, {1000, 1, true}, kNoon);
    ASSERT_EQ(normal.size(), paced.size());
    ASSERT_EQ(normal.size(), quick.size());
    for (std::size_t i = 0; i < normal.size(); ++i) {
        EXPECT_EQ(paced[i].waitMs * 10, normal[i].waitMs);
        EXPECT_LE(quick[i].waitMs, 1000u);
        EXPECT_EQ(quick[i].bytes.size(), normal[i].bytes.size());
    }
}

TEST(SenderTraffic, session_covers_every_kind_of_decoded_text)
{
    std::vector<Decode> decodes;
    for (const auto& step : sessionScript(kTarget, {}, kNoon)) {
        if (header(step.bytes).type == wsjtx::Decode) {
            decodes.push_back(decodeOf(step.bytes));
        }
    }
    auto any = [&](auto predicate) { return std::any_of(decodes.begin(), decodes.end(), predicate); };
    auto startingWith = [&](std::string prefix) {
        return any([&](const Decode& d) { return d.message.starts_with(prefix); });
    };
    auto endingWith = [&](std::string suffix) {
        return any([&](const Decode& d) { return d.isNew && d.message.ends_with(" " + suffix); });
    };
    for (const char* prefix : {"CQ DX ", "CQ EU ", "CQ TEST ", "CQ 290 ", "QRZ "}) {
        EXPECT_TRUE(startingWith(prefix)) << prefix;
    }
    for (const char* last : {"RR73", "73", "-15", "R-12", "IO83"}) {
        EXPECT_TRUE(endingWith(last)) << last;
    }
    EXPECT_TRUE(any([](const Decode& d) { return d.message.size() <= 6; }));
    EXPECT_TRUE(any([](const Decode& d) { return !d.isNew; }));
    std::set<std::string> seen;
    EXPECT_TRUE(any([&](const Decode& d) { return !seen.insert(d.message).second; })) << "a station heard again";
}

TEST(SenderTraffic, times_stay_on_period_boundaries_across_midnight)
{
    const UtcTime lateEvening{2461382, kMsPerDay - 10000};
    const auto steps = sessionScript(kTarget, {}, lateEvening);
    std::vector<std::uint32_t> times;
    for (const auto& step : steps) {
        if (header(step.bytes).type == wsjtx::Decode) {
            times.push_back(decodeOf(step.bytes).timeMs);
        }
    }
    EXPECT_EQ(times.front(), 0u);
    EXPECT_EQ(times.back(), 4 * kPeriodMs);
    for (auto t : times) {
        EXPECT_EQ(t % kPeriodMs, 0u);
    }

    // A QSO ended just after midnight started on the day before.
    QsoOptions qso;
    qso.timeOff = 30000;
    const auto logged = qsoStep(kTarget, qso, lateEvening).bytes;
    std::size_t at = header(logged).body;
    EXPECT_EQ(number(logged, at, 8), 2461382u);
    EXPECT_EQ(number(logged, at + 8, 4), 30000u);
    at += 13;
    text(logged, at);
    text(logged, at);
    at += 8; // transmit frequency
    for (int i = 0; i < 6; ++i) {
        text(logged, at);
    }
    EXPECT_EQ(number(logged, at, 8), 2461381u);
    EXPECT_EQ(number(logged, at + 8, 4), kMsPerDay - 30000);
    const auto date = convertJulian(2461381);
    EXPECT_EQ(date.year * 10000 + date.month * 100 + date.day, 20261206);
}

TEST(SenderTraffic, burst_varies_callsigns_with_valid_locators_and_reports)
{
    std::set<std::string> calls;
    for (std::uint64_t i = 0; i < 5000; ++i) {
        calls.insert(burstCallsign(i));
        EXPECT_TRUE(isValidLocator(burstLocator(i))) << burstLocator(i);
    }
    EXPECT_EQ(calls.size(), 5000u);
    EXPECT_EQ(burstDecode(0).text, "CQ " + burstCallsign(0) + " " + burstLocator(0));
    EXPECT_EQ(burstDecode(3).text.substr(burstDecode(3).text.rfind(' ') + 1), reportText(burstDecode(3).snr));
    EXPECT_EQ(reportText(-9), "-09");
    EXPECT_EQ(reportText(5), "+05");
    EXPECT_EQ(reportText(-24), "-24");
}

} // namespace
} // namespace qf::send
