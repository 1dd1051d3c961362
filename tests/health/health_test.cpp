#include <algorithm>

#include <gtest/gtest.h>

#include "support/program_harness.h"
#include "upload/outbox.h"

namespace qf::test {
namespace {

const std::string kDot = " \xB7 ";

class Health : public ::testing::Test {
  protected:
    void start(bool noWindow = false, const std::string& extra = "")
    {
        h = std::make_unique<ProgramHarness>(std::vector<std::string>{}, DateTime{2026, 12, 7, 10, 0, 0}, noWindow);
        h->readyOperator(extra);
        h->program->startUp();
        h->startMonitoring();
    }
    std::string line()
    {
        h->clock.advance(1);
        return h->window().health.caption();
    }
    // The spot socket's refusal (ICMP) of the records a tick just sent.
    void batchRefused()
    {
        h->decode("CQ Q" + std::to_string(++calls) + "AA FN42");
        h->program->timerSpots().onTick();
        h->winsock2().raiseError(10061, "Connection refused");
    }
    std::unique_ptr<ProgramHarness> h;
    int calls = 0;
};

std::string clockText(const DateTime& t)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return buf;
}

// Each condition appears and goes away at its moment, and the most important one is shown.
TEST_F(Health, shows_the_most_important_condition_and_otherwise_what_is_going_on)
{
    start();
    h->window().start.click();
    EXPECT_EQ(line(), "Not monitoring");
    h->winsock1().bindFailure = Failure(10048, "Address already in use");
    h->window().start.click();
    EXPECT_EQ(line(), "UDP port 2237: another program is using it");
    h->winsock1().bindFailure.reset();
    h->window().start.click();
    EXPECT_EQ(line(), "Listening on UDP port 2237");

    h->tuneTo(); // a Status, then 16 s
    EXPECT_EQ(line(), "Listening on UDP port 2237" + kDot + "WSJT-X 14.074.000 FT8, heard 17 s ago");
    batchRefused();
    const std::string refused =
        "The spot service refused spot records at " + clockText(h->clock.now()) + " (10061 - Connection refused)";
    EXPECT_EQ(line(), refused);
    h->clock.advance(58);
    EXPECT_EQ(line(), "No datagram for 60 s on UDP port 2237: check the UDP Server setting of WSJT-X or JTDX")
        << "a deaf program comes before a refusal";
    h->receive(wsjtx::heartbeatMessage());
    EXPECT_EQ(line(), refused);

    // A later batch that goes out without a refusal ends it.
    h->decode("CQ Q1BBB FN43");
    h->program->timerSpots().onTick();
    const std::string batch = clockText(h->clock.now());
    h->clock.advance(3);
    EXPECT_EQ(line(), refused) << "not until the batch has been out 5 s";
    EXPECT_EQ(line(), "Listening on UDP port 2237" + kDot + "WSJT-X 14.074.000 FT8, heard 5 s ago" + kDot +
                          "last spot batch " + batch);
}

// The spot service's name known not to resolve: every send fails at once, and no batch went.
TEST_F(Health, a_spot_batch_whose_sends_fail_at_once_is_shown_as_refused)
{
    start();
    h->tuneTo();
    h->winsock2().sendFailure = Failure(11001, "Host not found");
    h->decode("CQ Q1AAA FN42");
    h->program->timerSpots().onTick();
    const std::string at = clockText(h->clock.now());
    EXPECT_EQ(line(), "The spot service refused spot records at " + at + " (11001 - Host not found)");
}

TEST_F(Health, a_qso_not_delivered_is_shown_until_the_outbox_has_delivered_it)
{
    h = std::make_unique<ProgramHarness>();
    h->readyOperator();
    h->files.files[kConfigPath].replace(h->files.files[kConfigPath].find("LogUpload=0"), 11, "LogUpload=1");
    h->program->startUp();
    h->startMonitoring();
    h->winsock3().sendFailure = Failure(10065, "No route to host");
    h->receive(wsjtx::qsoLoggedMessage({}));
    EXPECT_EQ(line(), "QSO with Q1AAA not sent to the online log: its send failed: 10065 - No route to host, 1 QSO "
                      "waits in the outbox");
    h->winsock3().sendFailure.reset();
    h->clock.advance(60); // sent again from the outbox
    const std::string sent = clockText(h->clock.now());
    h->winsock3().receive("OK");
    h->receive(wsjtx::heartbeatMessage());
    EXPECT_EQ(line(), "Listening on UDP port 2237" + kDot + "WSJT-X, heard 1 s ago" + kDot + "last QSO Q1AAA sent " +
                          sent + " \"OK\"");
}

TEST_F(Health, without_a_window_says_each_condition_when_it_begins_never_once_per_datagram)
{
    start(true, "MoreRelays=127.0.0.1:2238\r\n");
    EXPECT_EQ(h->notices, std::vector<std::string>{"listening on UDP port 2237, relaying to 127.0.0.1:52237 and "
                                                   "127.0.0.1:2238, spots to spots.test port 7350"});
    h->notices.clear();
    h->tuneTo();
    for (int i = 0; i < 20; ++i) {
        batchRefused();
        h->clock.advance(1);
    }
    h->clock.advance(11 * 60);
    const std::vector<std::string> said = {
        "The spot service refused spot records at 10:00:16 (10061 - Connection refused)",
        "No datagram for 60 s on UDP port 2237: check the UDP Server setting of WSJT-X or JTDX",
        "the spot service refused 19 more spot records since 10:00:16",
        "No datagram for 660 s on UDP port 2237: check the UDP Server setting of WSJT-X or JTDX",
    };
    EXPECT_EQ(h->notices, said);
}

// The outbox is sent again every minute through an outage: each QSO is said once, not each minute.
TEST_F(Health, without_a_window_a_qso_refused_again_at_each_resend_is_said_once)
{
    h = std::make_unique<ProgramHarness>(std::vector<std::string>{}, DateTime{2026, 12, 7, 10, 0, 0}, true);
    h->readyOperator();
    h->files.files[kConfigPath].replace(h->files.files[kConfigPath].find("LogUpload=0"), 11, "LogUpload=1");
    h->program->startUp();
    for (const char* call : {"Q1AAA", "Q1BBB", "Q1CCC"}) {
        wsjtx::QsoLoggedFields f;
        f.dxCall = call;
        h->receive(wsjtx::qsoLoggedMessage(f));
        h->clock.advance(1);
        h->winsock3().raiseError(10061, "Connection refused");
    }
    for (int minute = 0; minute < 10; ++minute) {
        h->clock.advance(60);
        h->winsock3().raiseError(10061, "Connection refused");
    }
    ASSERT_EQ(h->program->outbox().waiting(), 3u);
    EXPECT_EQ(std::count_if(h->notices.begin(), h->notices.end(),
                            [](const std::string& line) { return line.starts_with("QSO with "); }),
              3);
}

// Nobody can press Start without a window: monitoring starts by itself, and a start that found the
// port taken, at start-up or at the watchdog's restart, is tried again every minute.
TEST_F(Health, without_a_window_monitoring_starts_and_a_taken_port_is_tried_again_every_minute)
{
    h = std::make_unique<ProgramHarness>(std::vector<std::string>{}, DateTime{2026, 12, 7, 10, 0, 0}, true);
    h->readyOperator(); // MonitorOnStarup=0
    h->winsock1().bindFailure = Failure(10048, "Address already in use");
    h->program->startUp();
    EXPECT_EQ(h->window().start.caption(), kStartCaption);
    ASSERT_EQ(h->dialogs.messages.size(), 1u) << "one line for each failure";
    h->clock.advance(59);
    EXPECT_EQ(h->dialogs.messages.size(), 1u);
    h->clock.advance(1);
    EXPECT_EQ(h->dialogs.messages.size(), 2u);
    h->winsock1().bindFailure.reset();
    h->clock.advance(60);
    EXPECT_EQ(h->window().start.caption(), kStopCaption);
    EXPECT_EQ(h->files.files[kConfigPath].find("MonitorOnStarup=1"), std::string::npos) << "the setting is kept";

    // The watchdog's restart finds the port taken.
    h->winsock1().bindFailure = Failure(10048, "Address already in use");
    h->clock.advance(7 * 60);
    EXPECT_EQ(h->window().start.caption(), kStartCaption);
    h->winsock1().bindFailure.reset();
    h->clock.advance(60);
    EXPECT_EQ(h->window().start.caption(), kStopCaption);
}

TEST_F(Health, with_a_window_a_failed_start_is_not_tried_again)
{
    start();
    h->window().start.click();
    h->winsock1().bindFailure = Failure(10048, "Address already in use");
    h->window().start.click();
    h->clock.advance(10 * 60);
    EXPECT_EQ(h->dialogs.messages.size(), 1u);
}

TEST_F(Health, the_spots_still_queued_go_out_when_the_program_ends)
{
    start();
    h->tuneTo();
    h->decode("CQ Q1AAA FN42");
    h->decode("CQ Q1BBB FN43");
    ASSERT_TRUE(h->winsock2().sent.empty());
    h->program->closing();
    ASSERT_EQ(h->winsock2().sent.size(), 2u);
    EXPECT_EQ(h->winsock2().sent[1].bytes, "WSJT|Q9ZZZ|FN42HN|14074000|Q1BBB|FN43|FT8|-12|1520|CQ|2.16");
    EXPECT_TRUE(h->traced("    Sending the 2 queued spots before the program ends"));
}

} // namespace
} // namespace qf::test
