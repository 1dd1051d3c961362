#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "e2e/e2e_support.h"

extern char** environ;

namespace qf::e2e {
namespace {

using namespace std::chrono_literals;

bool onPath(const char* tool)
{
    const std::string cmd = std::string("command -v ") + tool + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

// An X server of its own on a free display number, for as long as the test runs.
class VirtualDisplay {
  public:
    VirtualDisplay()
    {
        for (int n = 90; n < 110 && pid_ < 0; ++n) {
            if (::access(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), F_OK) == 0) {
                continue;
            }
            name_ = ":" + std::to_string(n);
            std::string xvfb = "Xvfb";
            std::string screen = "1024x768x24";
            std::vector<char*> argv{xvfb.data(),
                                    name_.data(),
                                    const_cast<char*>("-screen"),
                                    const_cast<char*>("0"),
                                    screen.data(),
                                    const_cast<char*>("-nolisten"),
                                    const_cast<char*>("tcp"),
                                    nullptr};
            if (posix_spawnp(&pid_, "Xvfb", nullptr, nullptr, argv.data(), environ) != 0) {
                pid_ = -1;
            }
        }
        waitFor([&] { return ::access(("/tmp/.X11-unix/X" + name_.substr(1)).c_str(), F_OK) == 0; }, 5s);
    }
    ~VirtualDisplay()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& name() const { return name_; }

  private:
    pid_t pid_ = -1;
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
    if (!onPath("Xvfb") || !onPath("xdotool")) {
        GTEST_SKIP() << "needs Xvfb and xdotool";
    }
    VirtualDisplay display;
    TempDir dir;
    ::mkdir((dir.path() + "/Quillfeed").c_str(), 0755);
    const std::string config = dir.path() + "/Quillfeed/config.ini";
    writeFile(config, "[OPTIONS]\r\nTop=300\r\nLeft=450\r\n");

    ::setenv("DISPLAY", display.name().c_str(), 1);
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
    if (!onPath("Xvfb") || !onPath("xdotool")) {
        GTEST_SKIP() << "needs Xvfb and xdotool";
    }
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

} // namespace
} // namespace qf::e2e
