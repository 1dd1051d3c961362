// How many Decode datagrams a second the core handles, trace off, relay on, on one core.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "app/program.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_file_system.h"
#include "wsjtx/datagram_builder.h"

namespace {

using namespace qf;

// A socket that only counts: the real work of sending is the kernel's, not ours.
class CountingSocket final : public UdpSocket {
  public:
    int state() const override { return open_ ? 1 : 0; }
    void bind(int, bool, const std::string&) override { open_ = true; }
    void setRemoteHost(const std::string&) override {}
    std::string remoteHost() const override { return {}; }
    void setRemotePort(int) override {}
    int remotePort() const override { return 0; }
    int localPort() const override { return open_ ? 40000 : 0; }
    void close() override { open_ = false; }
    void sendData(const std::string& bytes) override
    {
        open_ = true;
        ++sent;
        sentBytes += bytes.size();
    }
    std::string getData() override { return std::move(waiting); }
    Peer lastSender() const override { return {"127.0.0.1", 50000}; }
    bool lastFromRemote() const override { return false; }
    void sendTo(const Peer&, const std::string&) override {}
    void joinMulticastGroup(const std::string&, const std::string&) override {}
    void deliver(const std::string& d)
    {
        waiting = d;
        onDataArrival(static_cast<int>(d.size()));
    }
    std::string waiting;
    std::size_t sent = 0;
    std::size_t sentBytes = 0;

  private:
    bool open_ = false;
};

struct Core {
    Core()
    {
        files.dirs.insert("/cfg");
        files.dirs.insert("/cfg/Quillfeed");
        files.files["/cfg/Quillfeed/config.ini"] =
            "[OPTIONS]\r\nUdpPort=2237\r\nMonitorOnStarup=1\r\nTrace=0\r\nMyStationId=Q9ZZZ\r\nMyLocator=FN42HN\r\n"
            "ServIP=127.0.0.1\r\nServPort=52237\r\n";
        PlatformServices services{clock,
                                  files,
                                  dialogs,
                                  shell,
                                  regional,
                                  [this] {
                                      auto s = std::make_unique<CountingSocket>();
                                      sockets.push_back(s.get());
                                      return s;
                                  },
                                  [this] { return clock.makeTimer(); },
                                  "/cfg"};
        program = std::make_unique<Program>(services, std::vector<std::string>{});
        program->startUp();
        wsjtx::StatusFields s;
        sockets[0]->deliver(wsjtx::statusMessage(s));
        clock.advance(16);
    }
    void decode(const std::string& d)
    {
        sockets[0]->deliver(d);
        clock.advanceMs(1);
    }
    test::FakeClock clock;
    test::FakeFileSystem files;
    test::FakeDialogs dialogs;
    test::FakeShell shell;
    test::FakeRegional regional;
    std::vector<CountingSocket*> sockets;
    std::unique_ptr<Program> program;
};

std::string callsign(std::size_t i)
{
    std::string c = "Q";
    c += static_cast<char>('0' + i % 10);
    i /= 10;
    for (int k = 0; k < 4; ++k) {
        c += static_cast<char>('A' + i % 26);
        i /= 26;
    }
    return c;
}

// A realistic mix: CQs, directed CQs, answers, reports, sign-offs, from a few hundred stations.
std::vector<std::string> realisticDecodes(std::size_t stations)
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < 1000; ++i) {
        const std::string a = callsign(i % stations);
        const std::string b = callsign((i * 7 + 3) % stations);
        const std::string texts[] = {"CQ " + a + " FN42", "CQ DX " + a + " IN80", b + " " + a + " EN37",
                                     b + " " + a + " -15", b + " " + a + " RR73"};
        wsjtx::DecodeFields d;
        d.message = texts[i % 5];
        d.snr = -static_cast<int>(i % 24);
        d.deltaFrequency = static_cast<std::uint32_t>(200 + i % 2800);
        out.push_back(wsjtx::decodeMessage(d));
    }
    return out;
}

void BM_DecodesRealisticMix(benchmark::State& state)
{
    Core core;
    const auto decodes = realisticDecodes(500);
    std::size_t i = 0;
    for (auto _ : state) {
        core.decode(decodes[i++ % decodes.size()]);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_DecodesRealisticMix);

// The station memory full (32768 entries): every decode is a CQ of a station never heard, so
// each one looks up, replaces the oldest entry and queues a spot.
void BM_DecodesWithFullMemoryNewStations(benchmark::State& state)
{
    Core core;
    std::vector<std::string> fill;
    for (std::size_t i = 0; i < 32768; ++i) {
        wsjtx::DecodeFields d;
        d.message = "CQ " + callsign(i) + " FN42";
        core.decode(wsjtx::decodeMessage(d));
    }
    std::vector<std::string> fresh;
    for (std::size_t i = 32768; i < 32768 + 100000; ++i) {
        wsjtx::DecodeFields d;
        d.message = "CQ " + callsign(i) + " FN42";
        fresh.push_back(wsjtx::decodeMessage(d));
    }
    std::size_t i = 0;
    for (auto _ : state) {
        core.decode(fresh[i++ % fresh.size()]);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_DecodesWithFullMemoryNewStations);

// The station memory full, every decode from a remembered station inside its 15 minutes.
void BM_DecodesWithFullMemoryKnownStations(benchmark::State& state)
{
    Core core;
    std::vector<std::string> known;
    for (std::size_t i = 0; i < 32768; ++i) {
        wsjtx::DecodeFields d;
        d.message = "CQ " + callsign(i) + " FN42";
        known.push_back(wsjtx::decodeMessage(d));
        core.decode(known.back());
    }
    std::size_t i = 0;
    for (auto _ : state) {
        core.decode(known[(i++ * 7919) % known.size()]);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_DecodesWithFullMemoryKnownStations);

} // namespace
