// The whole program on fakes: the fake clock drives the timers, the four sockets are fake, the
// settings and trace files live in a fake file system. Tests act through the window model.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/program.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_udp_socket.h"
#include "wsjtx/datagram_builder.h"

namespace qf::test {

inline constexpr const char* kConfigFolder = "/home/op/.config";
inline constexpr const char* kAppFolder = "/home/op/.config/Quillfeed";
inline constexpr const char* kConfigPath = "/home/op/.config/Quillfeed/config.ini";
inline constexpr const char* kTracePath = "/home/op/.config/Quillfeed/Trace.txt";

class ProgramHarness {
  public:
    // noWindow: the program as `--no-window` runs it.
    // adjust: changes the services before the program is made.
    explicit ProgramHarness(std::vector<std::string> args = {}, DateTime start = DateTime{2026, 12, 7, 10, 0, 0},
                            bool noWindow = false, const std::function<void(PlatformServices&)>& adjust = {})
        : clock(start)
    {
        files.dirs.insert(kConfigFolder);
        PlatformServices services{clock,
                                  files,
                                  dialogs,
                                  shell,
                                  regional,
                                  [this] {
                                      auto s = std::make_unique<FakeUdpSocket>();
                                      sockets.push_back(s.get());
                                      return s;
                                  },
                                  [this] { return clock.makeTimer(); },
                                  kConfigFolder};
        services.spotServiceHost = "spots.test";
        services.webAddress = "https://orbalis.test";
        services.versionText = "2.16";
        services.notice = [this](const std::string& text) { notices.push_back(text); };
        services.noWindow = noWindow;
        services.isOwnAddress = [this](const std::string& a) { return isLoopbackAddress(a) || a == ownLanAddress; };
        if (adjust) {
            adjust(services);
        }
        program = std::make_unique<Program>(services, std::move(args));
    }

    // A settings file as the operator left it, in the section "OPTIONS".
    void settingsFile(const std::string& keyLines)
    {
        files.dirs.insert(kAppFolder);
        files.files[kConfigPath] = "[OPTIONS]\r\n" + keyLines;
    }
    // A ready operator: callsign, locator, tracing on, default ports.
    void readyOperator(const std::string& extra = "")
    {
        settingsFile("UdpPort=2237\r\nMonitorOnStarup=0\r\nTrace=1\r\nMyStationId=Q9ZZZ\r\nMyLocator=FN42HN\r\n"
                     "MulticastGroup=\r\nServIP=127.0.0.1\r\nServPort=52237\r\nTop=0\r\nLeft=0\r\nLogUpload=0\r\n"
                     "OnlyCQ=0\r\n" +
                     extra);
    }

    WindowModel& window() { return program->window(); }
    FakeUdpSocket& winsock1() { return *sockets.at(0); }
    FakeUdpSocket& winsock2() { return *sockets.at(1); }
    FakeUdpSocket& winsock3() { return *sockets.at(2); }
    FakeUdpSocket& winsockServ() { return *sockets.at(3); }

    void startMonitoring()
    {
        if (window().start.caption() == kStartCaption) {
            window().start.click();
        }
    }
    void receive(const std::string& datagram) { winsock1().receive(datagram); }
    // A Status for 14.074 MHz FT8, then the 15-second hold waited out.
    void tuneTo(std::uint64_t hz = 14074000, const std::string& mode = "FT8")
    {
        wsjtx::StatusFields s;
        s.dialHz = hz;
        s.mode = mode;
        receive(wsjtx::statusMessage(s));
        clock.advance(16);
    }
    void decode(const std::string& text, std::int32_t snr = -12, std::uint32_t df = 1520, const std::string& mode = "~")
    {
        wsjtx::DecodeFields d;
        d.message = text;
        d.snr = snr;
        d.deltaFrequency = df;
        d.mode = mode;
        receive(wsjtx::decodeMessage(d));
    }

    // The trace file as it stands, not a copy: a long session asks after every datagram.
    const std::string& trace() const
    {
        static const std::string none;
        const auto it = files.files.find(kTracePath);
        return it == files.files.end() ? none : it->second;
    }
    // The trace's messages without their stamps, one per line.
    std::vector<std::string> traceLines() const;
    bool traced(const std::string& message) const;
    void clearTrace() { files.files.erase(kTracePath); }

    FakeClock clock;
    FakeFileSystem files;
    FakeDialogs dialogs;
    FakeShell shell;
    FakeRegional regional;
    std::vector<FakeUdpSocket*> sockets;
    // This machine's address on its network, besides the loopback ones.
    std::string ownLanAddress = "192.168.1.10";
    // The lines a program without a window writes to standard error.
    std::vector<std::string> notices;
    std::unique_ptr<Program> program;
};

} // namespace qf::test
