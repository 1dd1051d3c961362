// Starts the real program offscreen with its own configuration folder and talks to it over
// loopback UDP. Everything here stops by itself: every wait has a deadline.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qf::e2e {

// A temporary folder, removed with everything in it at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// A UDP socket on a loopback address (127.0.0.1 unless told): a listener on a given or free port,
// and a sender to 127.0.0.1.
class UdpPeer {
  public:
    explicit UdpPeer(int port = 0, const std::string& address = "127.0.0.1");
    ~UdpPeer();
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;
    int port() const { return port_; }
    void sendTo(int port, const std::string& bytes) const;
    std::optional<std::string> receive(std::chrono::milliseconds timeout) const;
    // The port the datagram last received came from.
    int lastSenderPort() const { return lastSenderPort_; }
    // Everything that arrives until nothing has come for `quiet` (or `total` has passed).
    std::vector<std::string> receiveAll(std::chrono::milliseconds quiet, std::chrono::milliseconds total) const;

  private:
    int fd_ = -1;
    int port_ = 0;
    mutable int lastSenderPort_ = 0;
};

// A port that was free a moment ago.
int freeUdpPort();

std::string readFile(const std::string& path);
// What a shell command writes to its standard output.
std::string commandOutput(const std::string& command);
void writeFile(const std::string& path, const std::string& bytes);

// True once pred() holds, checking every 20 ms up to the deadline.
template <typename Pred> bool waitFor(Pred pred, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) {
            return true;
        }
        struct timespec ts {
            0, 20 * 1000 * 1000
        };
        nanosleep(&ts, nullptr);
    }
    return pred();
}

// The real quillfeed, started offscreen with XDG_CONFIG_HOME set; killed at the end.
class RunningProgram {
  public:
    // platform: the Qt platform plug-in ("offscreen", or "xcb" with DISPLAY set); empty: no display
    // variable at all.
    RunningProgram(const std::string& configHome, std::vector<std::string> args = {},
                   const std::string& platform = "offscreen");
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;
    bool running();
    // Asks the program to close as the window manager would (SIGTERM), waits for it.
    int stop();
    const std::string& output();

  private:
    int pid_ = -1;
    std::string outputPath_;
    std::string output_;
};

// Sends probes until the relay passes one on (the program may still be binding), then takes
// whatever else of them comes through, so that later counts start from nothing.
bool relayFlows(const UdpPeer& sender, int port, const UdpPeer& relay);

// A temporary configuration home with the program's folder in it.
class ProgramFolder : public ::testing::Test {
  protected:
    std::string folder() const { return dir.path() + "/Quillfeed"; }
    std::string tracePath() const { return folder() + "/Trace.txt"; }
    std::string trace() const { return readFile(tracePath()); }
    void prepare(const std::string& config) const;
    // True once the program has traced its caption, that is finished start-up.
    bool started() const;
    TempDir dir;
};

// True when this process runs in a network namespace of its own (see e2e_main.cpp).
bool networkIsolated();

// The port of the spot service, fixed in the program.
constexpr int kSpotServicePort = 7350;

// A listener standing in for the spot service on 127.0.0.1 port 7350, in this test's own network
// namespace, so the port is free whatever the machine runs. Null, and the test should skip, only
// when this build sends its records to another host; throws where it cannot be had.
std::unique_ptr<UdpPeer> spotService();

// A config.ini for a ready operator that starts monitoring at once.
std::string readyConfig(int udpPort, int relayPort, bool trace = true, const std::string& extra = "");

} // namespace qf::e2e
