#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <poll.h>
#include <sstream>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "e2e/e2e_support.h"
#include "wsjtx/datagram_builder.h"

extern char** environ;

namespace qf::e2e {
namespace {

using namespace std::chrono_literals;

// The tools of these tests that are missing; scripts/setup.sh installs them all.
std::string missing(std::initializer_list<const char*> tools)
{
    std::string names;
    for (const char* tool : tools) {
        if (std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) != 0) {
            names += std::string(names.empty() ? "" : " ") + tool;
        }
    }
    return names;
}

pid_t spawn(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

void end(pid_t pid)
{
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
}

// An X server of its own on a free display number, with a window manager when asked, for as long
// as the test runs. DISPLAY names it from then on. The server picks the number itself and tells it
// once it is ready: tests run side by side, and two that chose the same free number would share one.
class VirtualDisplay {
  public:
    explicit VirtualDisplay(bool windowManager = false, const std::string& screen = "1024x768x24")
    {
        int ready[2];
        if (::pipe(ready) == 0) {
            server_ =
                spawn({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", screen, "-nolisten", "tcp"});
            ::close(ready[1]);
            std::string number;
            pollfd told{ready[0], POLLIN, 0};
            char c = 0;
            // Generous: on a machine busy with a sanitizer build the server takes its time to start.
            while (::poll(&told, 1, 60000) > 0 && ::read(ready[0], &c, 1) == 1 && c != '\n') {
                number += c;
            }
            ::close(ready[0]);
            name_ = ":" + number;
        }
        ::setenv("DISPLAY", name_.c_str(), 1);
        if (windowManager) {
            manager_ = spawn({"openbox"});
            waitFor([] { return std::system("wmctrl -m >/dev/null 2>&1") == 0; }, 30s);
        }
    }
    ~VirtualDisplay()
    {
        end(manager_);
        end(server_);
    }
    const std::string& name() const { return name_; }

  private:
    pid_t server_ = -1;
    pid_t manager_ = -1;
    std::string name_;
};

// Runs xdotool on the display; true when it succeeded.
bool xdotool(const VirtualDisplay& display, const std::string& args)
{
    return std::system(("DISPLAY=" + display.name() + " xdotool " + args + " >/dev/null 2>&1").c_str()) == 0;
}

bool windowShown(const VirtualDisplay& display)
{
    return waitFor([&] { return xdotool(display, "search --sync --name 'Quillfeed - V'"); }, 10s);
}

TEST(Window, moving_the_window_stores_top_and_left_within_a_second)
{
    ASSERT_EQ(missing({"Xvfb", "xdotool"}), "") << "scripts/setup.sh installs them";
    VirtualDisplay display;
    TempDir dir;
    ::mkdir((dir.path() + "/Quillfeed").c_str(), 0755);
    const std::string config = dir.path() + "/Quillfeed/config.ini";
    writeFile(config, "[OPTIONS]\r\nTop=300\r\nLeft=450\r\n");

    RunningProgram program(dir.path(), {}, "xcb");
    ASSERT_TRUE(windowShown(display)) << program.output();
    std::this_thread::sleep_for(500ms);
    EXPECT_NE(readFile(config).find("Top=300\r\nLeft=450\r\n"), std::string::npos) << "the stored position is applied";

    ASSERT_TRUE(xdotool(display, "search --name 'Quillfeed - V' windowmove 200 100"));
    EXPECT_TRUE(
        waitFor([&] { return readFile(config).find("Top=1500\r\nLeft=3000\r\n") != std::string::npos; }, 1000ms))
        << readFile(config);
    EXPECT_EQ(program.stop(), 0);
}

TEST(Window, closing_stores_the_field_being_typed_in)
{
    ASSERT_EQ(missing({"Xvfb", "xdotool"}), "") << "scripts/setup.sh installs them";
    VirtualDisplay display;
    TempDir dir;
    ::setenv("DISPLAY", display.name().c_str(), 1);
    RunningProgram program(dir.path(), {}, "xcb");
    ASSERT_TRUE(windowShown(display)) << program.output();
    // The callsign field comes first in the focus order, so it has the focus once the window does.
    ASSERT_TRUE(xdotool(display, "search --name 'Quillfeed - V' windowfocus --sync type --delay 20 q9zzz"));
    std::this_thread::sleep_for(300ms);
    const std::string config = dir.path() + "/Quillfeed/config.ini";
    EXPECT_NE(readFile(config).find("MyStationId=\r\n"), std::string::npos) << "nothing stored while typing";

    EXPECT_EQ(program.stop(), 0); // as the desktop closes it
    EXPECT_NE(readFile(config).find("MyStationId=Q9ZZZ\r\n"), std::string::npos) << readFile(config);
}

// The window's pixels, row by row, from xwd's dump (header, colour map, then the rows).
struct Shot {
    int width = 0;
    int height = 0;
    std::vector<std::string> rows;
};

Shot shoot(const std::string& window)
{
    const std::string dump = commandOutput("xwd -silent -id " + window + " 2>/dev/null");
    auto field = [&](std::size_t index) -> std::uint32_t {
        if (dump.size() < 4 * (index + 1)) {
            return 0;
        }
        const auto* b = reinterpret_cast<const unsigned char*>(dump.data() + 4 * index);
        return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
    };
    Shot shot;
    shot.width = static_cast<int>(field(4));
    shot.height = static_cast<int>(field(5));
    const std::size_t stride = field(12);
    std::size_t at = field(0) + std::size_t{field(19)} * 12;
    for (int row = 0; row < shot.height && at + stride <= dump.size(); ++row, at += stride) {
        shot.rows.push_back(dump.substr(at, stride));
    }
    return shot;
}

std::string geometry(const std::string& window)
{
    const std::string text = commandOutput("xdotool getwindowgeometry " + window + " 2>/dev/null");
    const auto at = text.find("Geometry: ");
    return at == std::string::npos ? std::string() : text.substr(at + 10, text.find('\n', at) - at - 10);
}

TEST(Window, resizes_and_maximises_and_at_the_default_size_every_element_stands_where_it_stood)
{
    ASSERT_EQ(missing({"Xvfb", "xdotool", "openbox", "wmctrl", "xwd"}), "") << "scripts/setup.sh installs them";
    VirtualDisplay display(true);
    TempDir dir;
    ::mkdir((dir.path() + "/Quillfeed").c_str(), 0755);
    const std::string config = dir.path() + "/Quillfeed/config.ini";
    // Monitoring on: the text fields are disabled, so no text cursor blinks in the pictures.
    writeFile(config, readyConfig(freeUdpPort(), freeUdpPort(), false));
    RunningProgram program(dir.path(), {}, "xcb");
    std::string window;
    ASSERT_TRUE(waitFor(
        [&] {
            window = commandOutput("xdotool search --name 'Quillfeed - V' 2>/dev/null | head -n 1");
            window = window.substr(0, window.find('\n'));
            return !window.empty() && geometry(window) == "682x540";
        },
        10s))
        << program.output();
    ASSERT_EQ(std::system("xdotool mousemove 1010 760"), 0) << "the pointer off the window: no hover";
    std::this_thread::sleep_for(700ms);
    const Shot atDefault = shoot(window);
    ASSERT_EQ(atDefault.rows.size(), 540u);

    ASSERT_EQ(std::system("wmctrl -r 'Quillfeed - V' -b add,maximized_vert,maximized_horz"), 0);
    EXPECT_TRUE(waitFor([&] { return geometry(window).rfind("1024x", 0) == 0; }, 5s)) << geometry(window);
    ASSERT_EQ(std::system("wmctrl -r 'Quillfeed - V' -b remove,maximized_vert,maximized_horz"), 0);
    EXPECT_TRUE(waitFor([&] { return geometry(window) == "682x540"; }, 5s)) << geometry(window);
    std::this_thread::sleep_for(700ms);
    const Shot restored = shoot(window);
    EXPECT_TRUE(restored.rows == atDefault.rows) << "the default size looks exactly as before";
    EXPECT_EQ(readFile(config).find("Width="), std::string::npos) << "a maximised window's size is not kept";

    ASSERT_EQ(std::system(("xdotool windowsize " + window + " 682 200").c_str()), 0);
    EXPECT_TRUE(waitFor([&] { return geometry(window) != "682x540"; }, 5s));
    std::this_thread::sleep_for(700ms);
    const Shot small = shoot(window);
    ASSERT_GT(small.height, 200) << "no smaller than the panes' three lines allow";
    ASSERT_LT(small.height, 480) << "fits a 1366x768 screen at 150 %";
    EXPECT_EQ(small.width, 682);
    // The settings block and the buttons above the panes are untouched; the panes gave the room.
    for (int row = 0; row < 170; ++row) {
        ASSERT_EQ(small.rows.at(row), atDefault.rows.at(row)) << "row " << row;
    }
    EXPECT_TRUE(waitFor(
        [&] {
            return readFile(config).find("Width=10230\r\nHeight=" + std::to_string(small.height * 15) + "\r\n") !=
                   std::string::npos;
        },
        1500ms))
        << readFile(config);
    EXPECT_EQ(program.stop(), 0);
}

// A tooltip reads text that might be markup as markup: an Id with an <img> of /dev/zero once made the
// window read that file until the program aborted (std::bad_alloc) when the pointer rested on the
// health line.
TEST(Window, an_id_written_as_markup_is_shown_as_text_in_the_health_lines_tooltip)
{
    ASSERT_EQ(missing({"Xvfb", "xdotool", "openbox", "xprop", "xwd"}), "") << "scripts/setup.sh installs them";
    VirtualDisplay display(true);
    TempDir dir;
    ::mkdir((dir.path() + "/Quillfeed").c_str(), 0755);
    const int port = freeUdpPort();
    writeFile(dir.path() + "/Quillfeed/config.ini", readyConfig(port, freeUdpPort(), false));
    RunningProgram program(dir.path(), {}, "xcb");
    ASSERT_TRUE(windowShown(display)) << program.output();
    UdpPeer radio;
    radio.sendTo(port, wsjtx::heartbeatMessage("<img src=\"/dev/zero\"> " + std::string(150, 'x')));
    std::this_thread::sleep_for(1500ms); // the health line is made once a second
    ASSERT_TRUE(xdotool(display, "search --name 'Quillfeed - V' windowactivate --sync mousemove --window %1 100 528"));

    std::string tooltip;
    EXPECT_TRUE(waitFor(
        [&] {
            const std::string windows = commandOutput("xdotool search --onlyvisible --class quillfeed 2>/dev/null");
            std::istringstream ids(windows);
            for (std::string id; std::getline(ids, id);) {
                if (commandOutput("xprop -id " + id + " _NET_WM_WINDOW_TYPE 2>/dev/null").find("TOOLTIP") !=
                    std::string::npos) {
                    tooltip = id;
                }
            }
            return !tooltip.empty();
        },
        5s));
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(program.running()) << program.output();
    EXPECT_GT(shoot(tooltip).width, 682) << "the whole line as text, wider than the window";
    EXPECT_EQ(program.stop(), 0);
}

// The number after `label` in a tool's output, or -1.
int numberAfter(const std::string& text, const std::string& label)
{
    const auto at = text.find(label);
    return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + label.size());
}

struct Box {
    int left = 0, top = 0, right = -1, bottom = -1;
    bool within(const Box& outer) const
    {
        return right >= left && left >= outer.left && top >= outer.top && right <= outer.right &&
               bottom <= outer.bottom;
    }
    friend bool operator==(const Box&, const Box&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Box& b)
    {
        return out << b.left << "," << b.top << " to " << b.right << "," << b.bottom;
    }
};

// The window in its frame, in the screen's pixels (edges exclusive); empty until the frame is known.
Box framed(const std::string& window)
{
    const std::string info = commandOutput("xwininfo -id " + window + " 2>/dev/null");
    const std::string extents = commandOutput("xprop -id " + window + " _NET_FRAME_EXTENTS 2>/dev/null");
    int frame[4] = {}; // left, right, top, bottom
    if (std::sscanf(extents.c_str(), "_NET_FRAME_EXTENTS(CARDINAL) = %d, %d, %d, %d", &frame[0], &frame[1], &frame[2],
                    &frame[3]) != 4) {
        return {};
    }
    const int x = numberAfter(info, "Absolute upper-left X:");
    const int y = numberAfter(info, "Absolute upper-left Y:");
    return {x - frame[0], y - frame[2], x + numberAfter(info, "Width:") + frame[1],
            y + numberAfter(info, "Height:") + frame[3]};
}

// 1366x768 at 150 % leaves 910x512 for a window and its title bar: the default 682x540 gives way, a
// stored size far larger than the screen too, and neither is written back.
TEST(Window, on_a_small_screen_at_150_percent_the_window_fits_in_its_frame_and_no_size_is_written_back)
{
    ASSERT_EQ(missing({"Xvfb", "xdotool", "openbox", "wmctrl", "xwininfo", "xprop"}), "")
        << "scripts/setup.sh installs them";
    const std::string huge = "Width=2147483647\r\nHeight=2147483647\r\n";
    {
        // Offscreen, a window of that size was once drawn whole: 4 GB and 14 s, then a crash.
        TempDir dir;
        ::mkdir((dir.path() + "/Quillfeed").c_str(), 0755);
        const std::string config = dir.path() + "/Quillfeed/config.ini";
        writeFile(config, "[OPTIONS]\r\nTrace=1\r\n" + huge);
        RunningProgram program(dir.path());
        EXPECT_TRUE(waitFor([&] { return !readFile(dir.path() + "/Quillfeed/Trace.txt").empty(); }, 5s));
        std::this_thread::sleep_for(700ms);
        EXPECT_EQ(program.stop(), 0) << program.output();
        EXPECT_NE(readFile(config).find(huge), std::string::npos) << readFile(config);
    }
    VirtualDisplay display(true, "1366x768x24");
    ::setenv("QT_SCALE_FACTOR", "1.5", 1);
    const Box screen{0, 0, 1366, 768};
    for (const std::string& stored : {std::string(), huge}) {
        TempDir dir;
        ::mkdir((dir.path() + "/Quillfeed").c_str(), 0755);
        const std::string config = dir.path() + "/Quillfeed/config.ini";
        writeFile(config, "[OPTIONS]\r\nTop=0\r\nLeft=0\r\n" + stored);
        RunningProgram program(dir.path(), {}, "xcb");
        std::string window;
        Box frame;
        EXPECT_TRUE(waitFor(
            [&] {
                window = commandOutput("xdotool search --name 'Quillfeed - V' 2>/dev/null | head -n 1");
                window = window.substr(0, window.find('\n'));
                frame = window.empty() ? Box() : framed(window);
                return frame.within(screen) && frame.bottom > 768 - 10;
            },
            10s))
            << frame << "\n"
            << program.output();
        std::this_thread::sleep_for(700ms); // a size to keep would be written by now
        EXPECT_EQ(framed(window), frame);
        EXPECT_EQ(program.stop(), 0);
        const std::string written = readFile(config);
        EXPECT_EQ(written.find("Width="), stored.empty() ? std::string::npos : written.find(huge)) << written;
    }
    ::unsetenv("QT_SCALE_FACTOR");
}

} // namespace
} // namespace qf::e2e
