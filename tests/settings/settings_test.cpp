#include "settings/settings.h"

#include <gtest/gtest.h>

#include <vector>

#include "fakes/fake_file_system.h"

namespace qf {
namespace {

const std::string kFolder = "/home/op/.config/Quillfeed";
const std::string kPath = kFolder + "/config.ini";

struct Fixture {
    Fixture() { fs.dirs.insert(kFolder); }
    test::FakeFileSystem fs;
    WindowModel window;
    Settings settings{fs, window, kPath};
    bool loading = false;
    std::vector<std::string> events;

    void load()
    {
        settings.load([this] { events.push_back("start" + window.moreRelays.text()); },
                      [this](int top, int left) {
                          events.push_back("position " + std::to_string(top) + " " + std::to_string(left));
                          window.setPosition(top, left);
                      });
    }
};

TEST(Settings, first_run_writes_the_twelve_keys_in_order_and_loads_them)
{
    Fixture f;
    f.settings.createDefaultsIfMissing();
    EXPECT_EQ(f.fs.files[kPath], "[OPTIONS]\r\nUdpPort=2237\r\nMonitorOnStarup=0\r\nTrace=0\r\nMyStationId=\r\n"
                                 "MyLocator=\r\nMulticastGroup=\r\nServIP=127.0.0.1\r\nServPort=52237\r\nTop=0\r\n"
                                 "Left=0\r\nLogUpload=0\r\nOnlyCQ=0\r\n");
    EXPECT_EQ(f.fs.writes, 1);

    f.load();
    EXPECT_EQ(f.window.udpPort.text(), "2237");
    EXPECT_EQ(f.window.callsign.text(), "");
    EXPECT_EQ(f.window.locator.text(), "");
    EXPECT_EQ(f.window.servIP.text(), "127.0.0.1");
    EXPECT_EQ(f.window.servPort.text(), "52237");
    EXPECT_EQ(f.window.moreRelays.text(), "");
    EXPECT_FALSE(f.window.autoMon.checked() || f.window.trace.checked() || f.window.logUpload.checked() ||
                 f.window.soloCQ.checked());
    EXPECT_EQ(f.events, std::vector<std::string>{"position 0 0"});
}

TEST(Settings, an_existing_file_is_never_completed)
{
    Fixture f;
    f.fs.files[kPath] = "[OPTIONS]\nTrace=1";
    f.settings.createDefaultsIfMissing();
    f.load();
    EXPECT_EQ(f.fs.files[kPath], "[OPTIONS]\nTrace=1");
    EXPECT_EQ(f.fs.writes, 0);
}

TEST(Settings, missing_keys_and_an_unreadable_file_give_the_fallbacks)
{
    for (const bool unreadable : {false, true}) {
        Fixture f;
        f.fs.files[kPath] = "[OTHER]\r\nUdpPort=1\r\n";
        f.fs.unreadable = unreadable;
        f.settings.createDefaultsIfMissing();
        f.load();
        EXPECT_EQ(f.window.udpPort.text(), "?");
        EXPECT_EQ(f.window.callsign.text(), "?");
        EXPECT_EQ(f.window.locator.text(), "?");
        EXPECT_EQ(f.window.multicastGroup.text(), "");
        EXPECT_EQ(f.window.servIP.text(), "127.0.0.1");
        EXPECT_EQ(f.window.servPort.text(), "52237");
        EXPECT_EQ(f.window.moreRelays.text(), "");
        EXPECT_FALSE(f.window.trace.checked() || f.window.autoMon.checked() || f.window.logUpload.checked());
        EXPECT_EQ(f.events, std::vector<std::string>{"position 0 0"});
        EXPECT_EQ(f.fs.writes, 0);
    }
}

TEST(Settings, auto_start_presses_start_before_position_and_the_last_two_boxes)
{
    Fixture f;
    f.fs.files[kPath] = "[options]\r\nonlycq=1\r\nLogUpload=1\r\nLeft=30\r\nTop=15\r\nmonitoronstarup=1\r\n"
                        "Trace=1\r\nMyStationId=Q1AAA\r\nMoreRelays=  127.0.0.1:2238 q:1\r\n";
    auto record = [&f](const char* name, CheckBox& box) {
        box.onClick = [&f, name, &box] { f.events.push_back(std::string(name) + (box.checked() ? " on" : " off")); };
    };
    record("CBTrace", f.window.trace);
    record("CBAutoMon", f.window.autoMon);
    record("CBLogUpload", f.window.logUpload);
    record("CBSoloCQ", f.window.soloCQ);
    f.load();
    EXPECT_EQ(f.events, (std::vector<std::string>{"CBTrace on", "CBAutoMon on", "start127.0.0.1:2238 q:1",
                                                  "position 15 30", "CBLogUpload on", "CBSoloCQ on"}));
    EXPECT_EQ(f.window.callsign.text(), "Q1AAA");
}

TEST(Settings, flags_and_positions_as_stored_by_hand)
{
    struct Row {
        const char* name;
        const char* value;
        bool ticked;
        int position;
    } rows[] = {
        {"one", "1", true, 1},
        {"begins with one", "17abc", true, 17},
        {"zero", "0", false, 0},
        {"leading blanks", "   1", true, 1},
        {"other text", "yes", false, 0},
        {"half to even down", "2.5", false, 2},
        {"half to even up", "3.5", false, 4},
        {"negative", "-120", false, -120},
        {"blanks inside the number", "1 2 3", true, 123},
        {"above 32 bits", "99999999999", false, 2147483647},
        {"below 32 bits", "-99999999999", false, -2147483647 - 1},
        {"overflowing exponent", "1e999", true, 2147483647},
    };
    for (const auto& row : rows) {
        Fixture f;
        const std::string v = row.value;
        f.fs.files[kPath] = "[OPTIONS]\r\nOnlyCQ=" + v + "\r\nTop=" + v + "\r\nLeft=" + v + "\r\n";
        f.load();
        EXPECT_EQ(f.window.soloCQ.checked(), row.ticked) << row.name;
        EXPECT_EQ(f.window.top(), row.position) << row.name;
        EXPECT_EQ(f.window.left(), row.position) << row.name;
    }
}

TEST(Settings, text_fields_store_their_key_when_they_lose_the_focus)
{
    struct Row {
        const char* name;
        TextField WindowModel::*field;
        std::string typed;
        std::string shown;
        std::string stored; // empty: not stored
        const char* key;
    } rows[] = {
        {"callsign upper-cased", &WindowModel::callsign, "q1aaa/p", "Q1AAA/P", "Q1AAA/P", "MyStationId"},
        {"callsign 8-bit kept", &WindowModel::callsign, "q\xE9", "Q\xE9", "Q\xE9", "MyStationId"},
        {"short callsign stored unchecked", &WindowModel::callsign, "x", "X", "X", "MyStationId"},
        {"valid locator upper-cased", &WindowModel::locator, "jm19hn", "JM19HN", "JM19HN", "MyLocator"},
        {"invalid locator not stored", &WindowModel::locator, "jm19", "JM19", "", "MyLocator"},
        {"port as it stands", &WindowModel::udpPort, " abc ", " abc ", " abc ", "UdpPort"},
        {"multicast group", &WindowModel::multicastGroup, "239.255.0.1", "239.255.0.1", "239.255.0.1",
         "MulticastGroup"},
        {"relay address", &WindowModel::servIP, "host.example", "host.example", "host.example", "ServIP"},
        {"relay port", &WindowModel::servPort, "5000", "5000", "5000", "ServPort"},
        {"further relays as they stand", &WindowModel::moreRelays, "127.0.0.1:2238 Shack:x", "127.0.0.1:2238 Shack:x",
         "127.0.0.1:2238 Shack:x", "MoreRelays"},
    };
    for (const auto& row : rows) {
        for (const bool loading : {false, true}) {
            Fixture f;
            f.settings.createDefaultsIfMissing();
            const std::string before = f.fs.files[kPath];
            f.settings.wireWriters([&f] { return f.loading; });
            f.loading = loading;
            TextField& field = f.window.*row.field;
            field.setText(row.typed);
            field.loseFocus();
            EXPECT_EQ(field.text(), row.shown) << row.name;
            const std::string& after = f.fs.files[kPath];
            if (row.stored.empty() || loading) {
                EXPECT_EQ(after, before) << row.name << (loading ? " while loading" : "");
            } else {
                EXPECT_NE(after.find(std::string("\r\n") + row.key + "=" + row.stored + "\r\n"), std::string::npos)
                    << row.name;
            }
        }
    }
}

TEST(Settings, further_relays_are_read_whole_and_past_their_limit_only_whole_items_are_left_out)
{
    // Byte 1023 falls inside 127.0.0.1:41063, byte 32767 inside 127.0.0.1:42047.
    const auto items = [](int from, int to) {
        std::string list = "a:1";
        for (int port = from; port < to; ++port) {
            list += " 127.0.0.1:" + std::to_string(port);
        }
        return list;
    };
    const std::string huge(40000, 'x');
    const struct {
        const char* name;
        std::string stored;
        std::string shown;
        std::string line; // empty: none
    } rows[] = {
        {"past 1023 bytes", items(41000, 41100), items(41000, 41100), ""},
        {"past the limit", items(40000, 43000), items(40000, 42047),
         "Settings: MoreRelays is longer than 32767 bytes: 953 items skipped, the first 127.0.0.1:42047"},
        {"one item past the limit", "127.0.0.1:2238 " + huge, "127.0.0.1:2238",
         "Settings: MoreRelays is longer than 32767 bytes: 1 items skipped, the first " + huge.substr(0, 255) + "..."},
    };
    for (const auto& row : rows) {
        Fixture f;
        f.fs.files[kPath] = "[OPTIONS]\r\nMoreRelays=" + row.stored + "\r\nTrace=1\r\n";
        std::vector<std::string> lines;
        f.settings.onSkipped = [&lines](const std::string& line) { lines.push_back(line); };
        f.settings.wireWriters([] { return false; });
        f.load();
        EXPECT_EQ(f.window.moreRelays.text(), row.shown) << row.name;
        EXPECT_EQ(lines, row.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{row.line})
            << row.name;
        f.window.moreRelays.loseFocus();
        EXPECT_EQ(f.fs.files[kPath], "[OPTIONS]\r\nMoreRelays=" + row.shown + "\r\nTrace=1\r\n") << row.name;
    }
    EXPECT_EQ(WindowModel().moreRelays.maxLength(), 1023u) << "the typing limit stays";
}

TEST(Settings, check_boxes_store_one_and_zero_but_not_while_loading)
{
    Fixture f;
    f.fs.files[kPath] = "[OPTIONS]\r\n";
    f.settings.wireWriters([&f] { return f.loading; });
    f.window.autoMon.setChecked(true);
    f.window.soloCQ.setChecked(true);
    EXPECT_EQ(f.fs.files[kPath], "[OPTIONS]\r\nMonitorOnStarup=1\r\nOnlyCQ=1\r\n");
    f.window.soloCQ.setChecked(false);
    EXPECT_EQ(f.fs.files[kPath], "[OPTIONS]\r\nMonitorOnStarup=1\r\nOnlyCQ=0\r\n");

    f.loading = true;
    f.window.autoMon.setChecked(false);
    f.window.callsign.setText("Q1AAA");
    f.window.callsign.loseFocus();
    EXPECT_EQ(f.fs.files[kPath], "[OPTIONS]\r\nMonitorOnStarup=1\r\nOnlyCQ=0\r\n");
}

// An address written by hand is shown and kept until the box is cleared; ticking it again means
// this computer only.
TEST(Settings, the_listen_address_is_loaded_before_an_automatic_start_and_the_box_stores_it)
{
    Fixture f;
    f.fs.files[kPath] = "[OPTIONS]\r\nListenAddress=192.168.1.10\r\nMonitorOnStarup=1\r\n";
    f.settings.wireWriters([&f] { return f.loading; });
    f.loading = true;
    f.settings.load([&f] { f.events.push_back("start at " + f.window.listenAddress()); }, nullptr);
    f.loading = false;
    EXPECT_EQ(f.events, std::vector<std::string>{"start at 192.168.1.10"});
    EXPECT_TRUE(f.window.onlyLocal.checked());
    EXPECT_EQ(f.window.onlyLocal.caption(), "Only on 192.168.1.10");
    EXPECT_EQ(f.fs.files[kPath], "[OPTIONS]\r\nListenAddress=192.168.1.10\r\nMonitorOnStarup=1\r\n");

    f.window.onlyLocal.setChecked(false);
    EXPECT_EQ(f.window.listenAddress(), "");
    EXPECT_EQ(f.window.onlyLocal.caption(), "Only from this computer");
    f.window.onlyLocal.setChecked(true);
    EXPECT_EQ(f.fs.files[kPath], "[OPTIONS]\r\nListenAddress=127.0.0.1\r\nMonitorOnStarup=1\r\n");
    EXPECT_EQ(f.window.onlyLocal.caption(), "Only from this computer");
}

TEST(Settings, a_file_that_cannot_be_written_changes_nothing_and_does_not_fail)
{
    Fixture f;
    f.fs.dirs.clear();
    f.settings.createDefaultsIfMissing();
    f.settings.wireWriters([] { return false; });
    f.window.callsign.setText("q1aaa");
    f.window.callsign.loseFocus();
    f.settings.write("Top", "15");
    EXPECT_TRUE(f.fs.files.empty());
    EXPECT_EQ(f.window.callsign.text(), "Q1AAA");
}

} // namespace
} // namespace qf
