#include <gtest/gtest.h>

#include "support/program_harness.h"

namespace qf::test {
namespace {

class Monitoring : public ::testing::Test {
  protected:
    void start(const std::string& extra = "")
    {
        h.readyOperator(extra);
        h.program->startUp();
        h.clearTrace();
    }
    WindowModel& w() { return h.window(); }
    ProgramHarness h;
};

TEST_F(Monitoring, start_binds_the_port_disables_the_fields_and_sets_up_the_relay)
{
    start();
    w().start.click();
    EXPECT_EQ(w().start.caption(), kStopCaption);
    EXPECT_EQ(h.winsock1().state(), 1);
    EXPECT_EQ(h.winsock1().localPort(), 2237);
    EXPECT_FALSE(h.winsock1().reuse) << "a unicast bind stays exclusive";
    for (TextField* f : {&w().callsign, &w().locator, &w().udpPort, &w().multicastGroup, &w().servIP, &w().servPort,
                         &w().moreRelays}) {
        EXPECT_FALSE(f->enabled());
    }
    EXPECT_TRUE(h.program->timerRx().enabled());
    EXPECT_EQ(h.program->timerRx().interval(), 60000);
    const std::vector<std::string> relay = {"close", "port 52237", "host 127.0.0.1", "bind 0"};
    EXPECT_EQ(std::vector<std::string>(h.winsockServ().log.end() - 4, h.winsockServ().log.end()), relay);

    w().start.click();
    EXPECT_EQ(w().start.caption(), kStartCaption);
    EXPECT_EQ(h.winsock1().state(), 0);
    EXPECT_TRUE(w().servPort.enabled());
    EXPECT_FALSE(h.program->timerRx().enabled());
    EXPECT_EQ(h.winsockServ().state(), 1) << "the relay is set up after a stop too";
}

TEST_F(Monitoring, the_checks_refuse_with_their_messages_and_still_set_up_the_relay)
{
    struct Row {
        const char* callsign;
        const char* locator;
        const char* message;
    } rows[] = {
        {"Q9", "FN42HN", "You must enter a valid callsign or station id"},
        {"", "FN42HN", "You must enter a valid callsign or station id"},
        {"Q9Z", "FN42H", "You must enter a valid locator/grid square, 6 characters long (JM19HN, EM23LA...)"},
        {"Q9Z", "fn42hn", "You must enter a valid locator/grid square, 6 characters long (JM19HN, EM23LA...)"},
        {"Q9Z", "?", "You must enter a valid locator/grid square, 6 characters long (JM19HN, EM23LA...)"},
    };
    start();
    for (const auto& row : rows) {
        h.dialogs.messages.clear();
        h.winsockServ().log.clear();
        w().callsign.setText(row.callsign);
        w().locator.setText(row.locator);
        w().start.click();
        EXPECT_EQ(h.dialogs.messages, std::vector<std::string>{row.message}) << row.callsign << "/" << row.locator;
        EXPECT_EQ(w().start.caption(), kStartCaption);
        EXPECT_EQ(h.winsock1().state(), 0);
        EXPECT_EQ(h.winsockServ().log.back(), "bind 0");
    }
    w().callsign.setText("Q9Z");
    w().locator.setText("FN42HN");
    w().start.click();
    EXPECT_EQ(w().start.caption(), kStopCaption) << "a three-character callsign passes";
}

TEST_F(Monitoring, a_port_in_use_gives_the_exact_messages_and_skips_the_relay_set_up)
{
    struct Row {
        const char* group;
        std::string message;
    } rows[] = {
        {"", "UDP port 2237 is in use. Make sure that another copy of Quillfeed is not already running and that no "
             "other application is using that port"},
        {"239.255.0.1", "UDP port 2237 is in use. Make sure that Quillfeed is the first program that joins multicast "
                        "group 239.255.0.1"},
    };
    start();
    h.winsock1().bindFailure = Failure(10048, "Address already in use");
    for (const auto& row : rows) {
        h.dialogs.messages.clear();
        h.winsockServ().log.clear();
        h.clearTrace();
        w().multicastGroup.setText(row.group);
        w().start.click();
        EXPECT_EQ(h.dialogs.messages, std::vector<std::string>{row.message});
        EXPECT_TRUE(h.traced("CStart: Error in Winsock1: 10048 - Address already in use"));
        EXPECT_EQ(w().start.caption(), kStartCaption);
        EXPECT_TRUE(w().udpPort.enabled());
        EXPECT_FALSE(h.program->timerRx().enabled());
        EXPECT_TRUE(h.winsockServ().log.empty()) << "no relay set-up after a bind failure";
    }
}

TEST_F(Monitoring, other_bind_errors_are_shown_with_their_number)
{
    start();
    h.winsock1().bindFailure = Failure(10013, "Permission denied");
    w().start.click();
    EXPECT_EQ(h.dialogs.messages.back(), "Error in socket bind: 10013 - Permission denied");
}

// A port or group that cannot be listened on is refused before anything is bound; a port of 0 would
// let the system pick one that no sender knows while the button says monitoring runs.
TEST_F(Monitoring, port_and_group_texts_are_checked_before_the_bind)
{
    const std::string portAdvice =
        " is not a UDP port. Enter a whole number from 1 to 65535 as the UDP port to monitor";
    const std::string groupAdvice = " is not a multicast group. Enter an IPv4 address from 224.0.0.0 to "
                                    "239.255.255.255 as the multicast group, or leave it blank for unicast";
    struct Row {
        const char* port;
        const char* group;
        const char* bind; // the receive socket's log once started, or empty when refused
        const char* refusedText;
    } rows[] = {
        {"2237", "", "bind 2237", nullptr},
        {" 2237\t", "", "bind 2237", nullptr},
        {"1", "", "bind 1", nullptr},
        {"65535", "", "bind 65535", nullptr},
        {"02237", "", "bind 2237", nullptr},
        {"2237", "  ", "bind 2237", nullptr},
        {"2237", "239.255.255.255", "bind 2237 reuse|join 239.255.255.255", nullptr},
        {"2237", " 239.255.0.1 ", "bind 2237 reuse|join 239.255.0.1", nullptr},
        {"2237", "239.255.000.010", "bind 2237 reuse|join 239.255.0.10", nullptr},
        {"abc", "", "", "\"abc\""},
        {"0", "", "", "\"0\""},
        {"70000", "", "", "\"70000\""},
        {"65536", "", "", "\"65536\""},
        {"", "", "", "\"\""},
        {"-1", "", "", "\"-1\""},
        {"+2237", "", "", "\"+2237\""},
        {"22 37", "", "", "\"22 37\""},
        {"2237.5", "", "", "\"2237.5\""},
        {"2237x", "", "", "\"2237x\""},
        {"99999999999999999999", "", "", "\"99999999999999999999\""},
        {"abc", "letters", "", "\"abc\""}, // the port is named first
    };
    const char* refusedGroups[] = {"letters",    "255.255.255.255", "127.0.0.1",     "0.0.0.0",
                                   "239.255.0",  "239.255.0.256",   "239.255.0.1.5", "239.255.0.1x",
                                   "239.255..1", "239.255.0.0001",  "239.255.0.-1"};
    start();
    auto check = [&](const std::string& port, const std::string& group, const std::string& bind,
                     const std::string& refused) {
        const std::string name = "port \"" + port + "\" group \"" + group + "\"";
        h.dialogs.messages.clear();
        h.winsock1().log.clear();
        h.winsockServ().log.clear();
        h.clearTrace();
        w().udpPort.setText(port);
        w().multicastGroup.setText(group);
        w().start.click();
        if (refused.empty()) {
            std::string log;
            for (const std::string& entry : h.winsock1().log) {
                log += (log.empty() ? "" : "|") + entry;
            }
            EXPECT_EQ(log, bind) << name;
            EXPECT_EQ(w().start.caption(), kStopCaption) << name;
            w().start.click();
            return;
        }
        EXPECT_EQ(h.dialogs.messages, std::vector<std::string>{refused}) << name;
        EXPECT_TRUE(h.traced("CStart: Error in Winsock1: 10022 - " + refused.substr(0, refused.find(". ")))) << name;
        EXPECT_TRUE(h.winsock1().log.empty()) << name << ": nothing is bound";
        EXPECT_EQ(w().start.caption(), kStartCaption) << name;
        EXPECT_TRUE(w().udpPort.enabled()) << name;
        EXPECT_EQ(h.winsockServ().log.back(), "bind 0") << name << ": the relay is still set up";
    };
    for (const Row& row : rows) {
        check(row.port, row.group, row.bind, row.refusedText ? row.refusedText + portAdvice : "");
    }
    for (const char* group : refusedGroups) {
        check("2237", group, "", "\"" + std::string(group) + "\"" + groupAdvice);
    }
}

// One local address: the unicast socket binds to it; a group socket binds to the group and hears it
// only on that address's interface. An address this machine does not have is refused by name.
TEST_F(Monitoring, a_listen_address_of_this_machine_is_bound_and_any_other_is_refused)
{
    struct Row {
        const char* address;
        const char* group;
        const char* log; // empty: refused
    } rows[] = {
        {"127.0.0.1", "", "bind 2237 at 127.0.0.1"},
        {" 127.0.0.1 ", "", "bind 2237 at 127.0.0.1"},
        {"192.168.1.10", "", "bind 2237 at 192.168.1.10"},
        {"127.0.0.1", "239.255.0.1", "bind 2237 reuse at 239.255.0.1|join 239.255.0.1 on 127.0.0.1"},
        {"192.0.2.7", "", ""},
        {"localhost", "", ""},
        {"127.0.0.1.5", "239.255.0.1", ""},
    };
    start();
    for (const Row& row : rows) {
        h.dialogs.messages.clear();
        h.winsock1().log.clear();
        w().multicastGroup.setText(row.group);
        w().setListenAddress(row.address);
        w().start.click();
        std::string log;
        for (const std::string& entry : h.winsock1().log) {
            log += (log.empty() ? "" : "|") + entry;
        }
        EXPECT_EQ(log, row.log) << row.address;
        if (*row.log != '\0') {
            EXPECT_FALSE(w().onlyLocal.enabled()) << row.address;
            h.program->timerHealth().onTick();
            EXPECT_EQ(w().health.caption().rfind(std::string("Listening on UDP port 2237 at ") +
                                                     (row.address[0] == ' ' ? "127.0.0.1" : row.address),
                                                 0),
                      0u)
                << w().health.caption();
            w().start.click();
            EXPECT_TRUE(w().onlyLocal.enabled()) << row.address;
            continue;
        }
        EXPECT_EQ(h.dialogs.messages,
                  std::vector<std::string>{"\"" + std::string(row.address) +
                                           "\" is not an address of this computer. Set ListenAddress to one of this "
                                           "computer's IPv4 addresses (127.0.0.1: only from this computer), or leave "
                                           "it empty to listen on all of them"})
            << row.address;
        EXPECT_EQ(w().start.caption(), kStartCaption) << row.address;
    }
    h.program->timerHealth().onTick();
    EXPECT_EQ(w().health.caption(), "UDP port 2237: the address is not available on this machine");
}

TEST_F(Monitoring, a_multicast_group_is_joined_on_a_shared_port)
{
    start("");
    w().multicastGroup.setText("239.255.0.1");
    w().start.click();
    EXPECT_TRUE(h.winsock1().reuse);
    EXPECT_EQ(h.winsock1().groups, std::vector<std::string>{"239.255.0.1"});
    w().start.click();
    EXPECT_TRUE(h.winsock1().groups.empty()) << "closing ends the membership";
}

TEST_F(Monitoring, an_empty_relay_field_leaves_the_relay_closed)
{
    start();
    w().servIP.setText("");
    w().start.click();
    EXPECT_EQ(h.winsockServ().state(), 0);
    EXPECT_EQ(h.winsockServ().log.back(), "close");
}

TEST_F(Monitoring, relay_set_up_errors_are_traced_without_a_box)
{
    start();
    w().servPort.setText("70000");
    w().start.click();
    EXPECT_EQ(w().start.caption(), kStopCaption);
    EXPECT_TRUE(h.dialogs.messages.empty());
    const auto lines = h.traceLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
        return l.rfind("CStart: Error in WinsockServ: 10022 - ", 0) == 0;
    }));
}

TEST_F(Monitoring, watchdog_restarts_after_more_than_five_minute_boundaries_with_5000_ms_closed)
{
    start();
    h.clock.set(DateTime{2026, 12, 7, 10, 0, 0});
    w().start.click();
    h.clock.set(DateTime{2026, 12, 7, 10, 0, 59});
    h.receive(wsjtx::heartbeatMessage());
    h.clearTrace();
    const std::string restart = "** More than 5 minutes since last frame was received. Force restart monitoring **";

    h.clock.set(DateTime{2026, 12, 7, 10, 5, 30});
    h.program->timerRx().onTick();
    EXPECT_FALSE(h.traced(restart)) << "5 boundaries: no restart";

    h.winsock1().log.clear();
    h.clock.set(DateTime{2026, 12, 7, 10, 6, 30});
    h.program->timerRx().onTick();
    EXPECT_TRUE(h.traced(restart));
    EXPECT_EQ(h.winsock1().log, std::vector<std::string>{"close"});
    EXPECT_TRUE(w().inputHeld());
    h.clock.advanceMs(4999);
    EXPECT_EQ(h.winsock1().log, std::vector<std::string>{"close"}) << "closed for the whole 5000 ms";
    h.clock.advanceMs(1);
    EXPECT_EQ(h.winsock1().log, (std::vector<std::string>{"close", "bind 2237"}));
    EXPECT_EQ(w().start.caption(), kStopCaption);
    EXPECT_FALSE(w().inputHeld());
}

// The program's own handlers are held for the pause; what came due runs right after the second press.
TEST_F(Monitoring, during_the_restart_pause_no_tick_socket_event_or_click_reaches_the_program)
{
    start("LogUpload=1\r\nMoreRelays=127.0.0.1:5000\r\n");
    w().start.click();
    ASSERT_EQ(h.sockets.size(), 5u) << "a socket for the further relay target";
    h.clock.advance(6 * 60);
    ASSERT_TRUE(w().inputHeld()) << "the watchdog restarted";
    const std::string settings = h.files.files[kConfigPath];
    h.clearTrace();

    w().setPosition(1500, 3000); // due at the next tick of the position timer
    w().log.appendLine("kept");
    w().clear.click();
    w().helpCallsign.click();
    w().callsign.loseFocus();
    h.winsock3().receive("answer");
    h.winsockServ().raiseError(10061, "Connection refused");
    h.sockets.at(4)->raiseError(10065, "No route to host");
    h.clock.advanceMs(4000);
    EXPECT_EQ(h.trace(), "");
    EXPECT_EQ(h.files.files[kConfigPath], settings);
    EXPECT_EQ(w().log.text(), "\r\nkept");
    EXPECT_TRUE(h.dialogs.messages.empty());
    EXPECT_EQ(h.winsock1().state(), 0);

    h.clock.advanceMs(1000);
    EXPECT_EQ(w().start.caption(), kStopCaption);
    EXPECT_TRUE(h.traced("WinSockServ: Error (10061) Connection refused")) << "an error waits, it is not lost";
    EXPECT_NE(h.trace().find("(10065) No route to host"), std::string::npos) << h.trace();
    EXPECT_NE(h.files.files[kConfigPath].find("Top=1500\r\nLeft=3000\r\n"), std::string::npos);
    EXPECT_EQ(w().log.text(), "\r\nkept") << "the clicks were dropped";
    EXPECT_TRUE(h.dialogs.messages.empty());
    EXPECT_EQ(h.winsock3().incoming.size(), 1u) << "left for the socket to offer again";
}

TEST_F(Monitoring, watchdog_ticks_once_a_minute_and_a_failed_restart_leaves_monitoring_off)
{
    start();
    w().start.click();
    h.winsock1().bindFailure = Failure(10048, "Address already in use");
    h.clock.advance(7 * 60);
    EXPECT_EQ(w().start.caption(), kStartCaption);
    EXPECT_FALSE(h.program->timerRx().enabled());
    EXPECT_EQ(h.dialogs.messages.size(), 1u);
    h.clock.advance(60 * 60);
    EXPECT_EQ(h.dialogs.messages.size(), 1u) << "no further automatic attempts";
}

TEST_F(Monitoring, watchdog_does_nothing_while_monitoring_is_off)
{
    start();
    h.program->state().lastFrameTime = DateTime{2020, 1, 1, 0, 0, 0};
    h.program->timerRx().onTick();
    EXPECT_EQ(w().start.caption(), kStartCaption);
    EXPECT_FALSE(w().inputHeld());
}

} // namespace
} // namespace qf::test
