#include "platform/qt/qt_timer.h"

#include <QElapsedTimer>

#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include "qt_test_support.h"

namespace qf {
namespace {

using test::runEventsFor;
using test::runEventsUntil;

TEST(QtTimer, ticks_while_enabled_and_stops_when_disabled)
{
    QtTimer timer;
    int ticks = 0;
    timer.onTick = [&] { ++ticks; };
    timer.setInterval(20);
    runEventsFor(60);
    EXPECT_EQ(ticks, 0) << "ticked before it was enabled";
    timer.setEnabled(true);
    ASSERT_TRUE(runEventsUntil([&] { return ticks >= 3; }));
    timer.setEnabled(false);
    const int stoppedAt = ticks;
    runEventsFor(80);
    EXPECT_EQ(ticks, stoppedAt);
    EXPECT_FALSE(timer.enabled());
}

TEST(QtTimer, enabling_again_or_setting_the_interval_restarts_the_countdown)
{
    struct Row {
        const char* name;
        std::function<void(QtTimer&)> restart;
    } rows[] = {
        {"enabled again", [](QtTimer& t) { t.setEnabled(true); }},
        {"interval set", [](QtTimer& t) { t.setInterval(300); }},
    };
    for (const auto& row : rows) {
        QtTimer timer;
        int ticks = 0;
        timer.onTick = [&] { ++ticks; };
        timer.setInterval(300);
        timer.setEnabled(true);
        runEventsFor(200);
        ASSERT_EQ(ticks, 0) << row.name;
        row.restart(timer);
        QElapsedTimer sinceRestart;
        sinceRestart.start();
        ASSERT_TRUE(runEventsUntil([&] { return ticks > 0; })) << row.name;
        EXPECT_GE(sinceRestart.elapsed(), 290) << row.name;
    }
}

TEST(QtTimer, an_enabled_timer_with_interval_zero_does_not_tick)
{
    QtTimer timer;
    int ticks = 0;
    timer.onTick = [&] { ++ticks; };
    timer.setInterval(10);
    timer.setEnabled(true);
    timer.setInterval(0);
    runEventsFor(80);
    EXPECT_EQ(ticks, 0);
    EXPECT_TRUE(timer.enabled());
    timer.setInterval(10);
    EXPECT_TRUE(runEventsUntil([&] { return ticks > 0; }));
}

TEST(QtTimer, the_tick_handler_may_destroy_its_timer)
{
    auto timer = std::make_unique<QtTimer>();
    int ticks = 0;
    timer->onTick = [&] {
        ++ticks;
        timer.reset();
    };
    timer->setInterval(5);
    timer->setEnabled(true);
    ASSERT_TRUE(runEventsUntil([&] { return ticks > 0; }));
    runEventsFor(50);
    EXPECT_EQ(ticks, 1);
}

} // namespace
} // namespace qf
