#include <gtest/gtest.h>

#include "support/program_harness.h"

namespace qf::test {
namespace {

TEST(StartUp, first_run_creates_the_folder_and_the_default_file_in_order)
{
    ProgramHarness h;
    h.program->startUp();
    EXPECT_TRUE(h.files.directoryExists(kAppFolder));
    EXPECT_EQ(
        h.files.files.at(kConfigPath),
        "[OPTIONS]\r\nUdpPort=2237\r\nMonitorOnStarup=0\r\nTrace=0\r\nMyStationId=\r\nMyLocator=\r\n"
        "MulticastGroup=\r\nServIP=127.0.0.1\r\nServPort=52237\r\nTop=0\r\nLeft=0\r\nLogUpload=0\r\nOnlyCQ=0\r\n");
    WindowModel& w = h.window();
    EXPECT_EQ(w.caption, "Quillfeed - V 2.16");
    EXPECT_EQ(w.udpPort.text(), "2237");
    EXPECT_EQ(w.servIP.text(), "127.0.0.1");
    EXPECT_EQ(w.servPort.text(), "52237");
    EXPECT_EQ(w.callsign.text(), "");
    EXPECT_EQ(w.top(), 0);
    EXPECT_EQ(w.left(), 0);
    EXPECT_EQ(w.start.caption(), kStartCaption);
    EXPECT_FALSE(h.program->state().isLoading);
    EXPECT_EQ(h.winsock2().state(), 1) << "the spot socket is bound at start-up";
    EXPECT_EQ(h.winsock2().remoteHost(), "spots.test");
    EXPECT_EQ(h.winsock2().remotePort(), 7350);
    EXPECT_TRUE(h.program->timerPosicion().enabled());
    EXPECT_TRUE(h.dialogs.messages.empty());
    EXPECT_EQ(h.trace(), "") << "tracing is off in a new file";
}

TEST(StartUp, auto_start_binds_during_loading_and_loading_clicks_write_nothing)
{
    ProgramHarness h;
    h.readyOperator();
    std::string& file = h.files.files[kConfigPath];
    file.replace(file.find("MonitorOnStarup=0"), 17, "MonitorOnStarup=1");
    file.replace(file.find("LogUpload=0"), 11, "LogUpload=1");
    const std::string before = file;
    h.files.files[kTracePath] = "old line\r\n";
    h.program->startUp();
    EXPECT_EQ(h.window().start.caption(), kStopCaption);
    EXPECT_EQ(h.winsock1().localPort(), 2237);
    EXPECT_EQ(h.files.files.at(kConfigPath), before) << "nothing is written while loading";
    EXPECT_EQ(h.trace().rfind("old line\r\n", 0), 0u) << "ticking the trace box while loading keeps the old file";
    EXPECT_TRUE(h.traced("Quillfeed - V 2.16"));
    EXPECT_EQ(h.winsock3().remoteHost(), "spots.test");
    EXPECT_EQ(h.winsock3().state(), 1);
}

TEST(StartUp, auto_start_with_an_empty_callsign_shows_the_message_before_the_window)
{
    ProgramHarness h;
    h.settingsFile("MonitorOnStarup=1\r\nMyStationId=\r\n");
    h.program->startUp();
    EXPECT_EQ(h.dialogs.messages, std::vector<std::string>{"You must enter a valid callsign or station id"});
    EXPECT_EQ(h.window().start.caption(), kStartCaption);
}

TEST(StartUp, an_unreadable_file_gives_question_marks_that_monitoring_refuses)
{
    ProgramHarness h;
    h.readyOperator();
    h.files.unreadable = true;
    h.program->startUp();
    EXPECT_EQ(h.window().callsign.text(), "?");
    EXPECT_EQ(h.window().locator.text(), "?");
    EXPECT_EQ(h.window().udpPort.text(), "?");
    h.window().start.click();
    EXPECT_EQ(h.window().start.caption(), kStartCaption);
}

TEST(StartUp, a_settings_folder_that_cannot_be_written_is_silent)
{
    ProgramHarness h;
    h.files.failCreateDirectory = true;
    h.files.readOnly = true;
    h.program->startUp();
    EXPECT_TRUE(h.dialogs.messages.empty());
    h.window().autoMon.setChecked(true);
    h.window().setPosition(150, 300);
    h.clock.advance(1);
    EXPECT_TRUE(h.files.files.empty());
}

TEST(PositionTimer, saves_a_moved_window_within_half_a_second_but_not_while_minimised)
{
    ProgramHarness h;
    h.readyOperator();
    h.program->startUp();
    h.window().setPosition(1500, 3000);
    h.clock.advanceMs(500);
    EXPECT_NE(h.files.files.at(kConfigPath).find("Top=1500\r\nLeft=3000\r\n"), std::string::npos);

    h.window().minimized = true;
    h.window().setPosition(-48000, -48000);
    h.clock.advanceMs(1000);
    EXPECT_NE(h.files.files.at(kConfigPath).find("Top=1500\r\n"), std::string::npos);
    h.program->closing();
    EXPECT_NE(h.files.files.at(kConfigPath).find("Top=1500\r\n"), std::string::npos)
        << "closing while minimised keeps the last saved position";

    h.window().minimized = false;
    h.window().setPosition(30, 45);
    h.program->closing();
    EXPECT_NE(h.files.files.at(kConfigPath).find("Top=30\r\nLeft=45\r\n"), std::string::npos);
}

TEST(PositionTimer, a_stored_position_is_applied_unchanged)
{
    ProgramHarness h;
    h.settingsFile("Top=  -90000.5\r\nLeft=1e3xyz\r\n");
    h.program->startUp();
    EXPECT_EQ(h.window().top(), -90000);
    EXPECT_EQ(h.window().left(), 1000);
}

TEST(PositionTimer, the_size_is_stored_only_once_the_operator_changes_it_and_read_back_at_start)
{
    ProgramHarness h;
    h.program->startUp();
    const std::string firstRun = h.files.files.at(kConfigPath);
    h.clock.advance(2);
    h.program->closing();
    EXPECT_EQ(h.files.files.at(kConfigPath), firstRun) << "a window left at its default size adds no key";

    h.window().setSize(13650, 9000);
    h.clock.advanceMs(500);
    EXPECT_EQ(h.files.files.at(kConfigPath), firstRun + "Width=13650\r\nHeight=9000\r\n");

    ProgramHarness again;
    again.files = h.files;
    again.program->startUp();
    EXPECT_EQ(again.window().width(), 13650);
    EXPECT_EQ(again.window().height(), 9000);

    ProgramHarness broken;
    broken.settingsFile("Width=wide\r\nHeight=-5\r\n");
    broken.program->startUp();
    EXPECT_EQ(broken.window().width(), 0) << "an unreadable size leaves the default";
}

TEST(Window, help_boxes_and_links)
{
    ProgramHarness h;
    h.readyOperator();
    h.program->startUp();
    WindowModel& w = h.window();
    w.helpCallsign.click();
    EXPECT_EQ(h.dialogs.messages.back(), "Enter your amateur radio callsign. If you don't have one then choose a "
                                         "combination of letters and numbers up to 8 characters");
    h.dialogs.answer = false;
    w.helpLocator.click();
    EXPECT_TRUE(h.shell.urls.empty()) << "answered No: nothing opens";
    h.dialogs.answer = true;
    w.helpLocator.click();
    EXPECT_EQ(h.dialogs.questions.back(), "Enter your QTH locator / grid square (six characters, like JM19HN, "
                                          "MN23AB...) Would you like to calculate it using Google Maps?");
    EXPECT_EQ(h.shell.urls.back(), "https://orbalis.test/callbook/gmap.php");
    w.callsign.setText("Q9 ZZZ");
    w.viewLog.click();
    EXPECT_EQ(h.shell.urls.back(), "https://orbalis.test/callbook/info.php?Tab=LO&Force=Y&Lan=E&Callsign=Q9 ZZZ");
    w.viewTrace.click();
    EXPECT_EQ(h.shell.folders, std::vector<std::string>{kAppFolder});
}

TEST(Window, clear_messages_empties_the_panes_only)
{
    ProgramHarness h;
    h.readyOperator();
    h.program->startUp();
    h.startMonitoring();
    h.tuneTo();
    h.decode("CQ Q1AAA FN42");
    const std::string decodes = h.window().numDecodes.caption();
    const std::string spots = h.window().numSpots.caption();
    h.window().clear.click();
    EXPECT_EQ(h.window().log.text(), "");
    EXPECT_EQ(h.window().dx.text(), "");
    EXPECT_EQ(h.window().spots.text(), "");
    EXPECT_EQ(h.window().numDecodes.caption(), decodes);
    EXPECT_EQ(h.window().numSpots.caption(), spots);
    h.decode("CQ Q1BBB FN43");
    EXPECT_NE(h.window().dx.text().find("CQ Q1BBB FN43"), std::string::npos);
    EXPECT_EQ(h.window().numDecodes.caption(), "2 messages decoded");
}

TEST(TraceBox, ticking_deletes_the_old_file_and_starts_with_the_caption)
{
    ProgramHarness h;
    h.program->startUp();
    h.files.files[kTracePath] = "old\r\n";
    h.window().trace.setChecked(true);
    EXPECT_EQ(h.traceLines(), std::vector<std::string>{"Quillfeed - V 2.16"});
    EXPECT_NE(h.files.files.at(kConfigPath).find("Trace=1"), std::string::npos);
    h.window().trace.setChecked(false);
    EXPECT_NE(h.files.files.at(kConfigPath).find("Trace=0"), std::string::npos);
    EXPECT_EQ(h.traceLines(), std::vector<std::string>{"Quillfeed - V 2.16"}) << "clearing keeps the file";
}

TEST(TraceBox, log_upload_click_stores_the_flag_and_prepares_the_log_socket)
{
    ProgramHarness h;
    h.program->startUp();
    h.winsock3().log.clear();
    h.window().logUpload.setChecked(true);
    EXPECT_NE(h.files.files.at(kConfigPath).find("LogUpload=1"), std::string::npos);
    EXPECT_EQ(h.winsock3().log, (std::vector<std::string>{"close", "host spots.test", "port 7350", "bind 0"}));
    h.window().logUpload.setChecked(false);
    EXPECT_EQ(h.winsock3().log.back(), "close");
    EXPECT_EQ(h.winsock3().state(), 0);
}

} // namespace
} // namespace qf::test
