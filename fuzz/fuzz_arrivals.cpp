// Arbitrary datagrams through the whole arrival path of the program on fakes: intake and relay,
// Status, decode analysis, station memory, the spot queue, the QSO upload and its outbox, the
// answers of the relay targets passed back, the health line and the status snapshot, with the trace on.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "fuzz_input.h"
#include "json_check.h"
#include "relay/loop_guard.h"
#include "support/program_harness.h"

namespace {

using namespace qf;
using namespace qf::test;

constexpr int kRelayPort = 52237;
constexpr int kFurtherPort = 2238;
// The fake trace file lives in memory; a long session would otherwise only measure its growth.
constexpr std::size_t kTraceKeptBytes = 4 << 20;

void require(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "fuzz_arrivals: %s\n", what);
        std::abort();
    }
}

bool isStatus(const std::string& d)
{
    return d.size() >= 12 && d.compare(0, 4, "\xAD\xBC\xCB\xDA") == 0 &&
           d.compare(8, 4, std::string("\0\0\0\1", 4)) == 0;
}

std::string settings(std::uint8_t options)
{
    const auto on = [&](std::uint8_t bit) { return (options & bit) != 0; };
    return std::string("UdpPort=2237\r\nMonitorOnStarup=1\r\nTrace=1\r\nMyStationId=Q9ZZZ\r\nMyLocator=FN42HN\r\n") +
           "MulticastGroup=" + (on(fuzz::option::kMulticast) ? "239.255.7.7" : "") + "\r\n" +
           "ServIP=" + (on(fuzz::option::kNoRelay) ? "" : "127.0.0.1") + "\r\nServPort=" + std::to_string(kRelayPort) +
           "\r\nTop=0\r\nLeft=0\r\n" + "LogUpload=" + (on(fuzz::option::kNoLogUpload) ? "0" : "1") + "\r\n" +
           "OnlyCQ=" + (on(fuzz::option::kOnlyCq) ? "1" : "0") + "\r\n" +
           "PassReplies=" + (on(fuzz::option::kPassReplies) ? "1" : "0") + "\r\n" +
           "MoreRelays=" + (on(fuzz::option::kMoreRelays) ? "127.0.0.1:" + std::to_string(kFurtherPort) : "") + "\r\n";
}

// The same bytes from the radio, as the loop guard may count them: a datagram that is not relayed
// must have come many times, the last only moments ago. Evicted entries make the guard pass more,
// never less, so this is what every drop needs, not what each repeat gets.
struct Repeats {
    std::int64_t lastAt = 0;
    int count = 0;
};
bool mayBeDropped(std::map<std::string, Repeats>& seen, const std::string& bytes, std::int64_t now)
{
    Repeats& r = seen[bytes];
    const bool recent = r.count > 0 && now - r.lastAt <= LoopGuard::kWindowSeconds + 1;
    r.count = recent ? r.count + 1 : 1;
    r.lastAt = now;
    return r.count > LoopGuard::kMaxPasses;
}

void setSendFailures(ProgramHarness& h, bool fail)
{
    for (FakeUdpSocket* s : h.sockets) {
        if (s == &h.winsock1()) {
            continue;
        }
        if (fail) {
            s->sendFailure = Failure(10065, "No route to host");
        } else {
            s->sendFailure.reset();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fuzz::Session session = fuzz::decodeSession(data, size);
    ProgramHarness h({}, DateTime{2026, 12, 7, 10, 0, 0}, (session.options & fuzz::option::kNoWindow) != 0);
    h.settingsFile(settings(session.options));
    h.program->startUp();
    require(h.window().start.caption() == kStopCaption, "monitoring did not start");
    const bool relays = (session.options & fuzz::option::kNoRelay) == 0;
    const bool further = (session.options & fuzz::option::kMoreRelays) != 0;
    require(h.sockets.size() == (further ? 5u : 4u), "one socket for the further target");

    std::map<std::string, Repeats> repeats;
    for (const fuzz::Arrival& a : session.arrivals) {
        if ((a.step & fuzz::step::kRestart) != 0) {
            h.window().start.click();
            h.window().start.click();
        }
        const bool sendsFail = (a.step & fuzz::step::kSendsFail) != 0;
        setSendFailures(h, sendsFail);
        const std::size_t relayedBefore = h.winsockServ().sent.size();
        const std::size_t furtherBefore = further ? h.sockets.at(4)->sent.size() : 0;
        // Closed during the watchdog's restart pause, when nothing arrives.
        const bool listening = h.winsock1().state() == 1;
        const bool repeated = listening && mayBeDropped(repeats, a.bytes, toSeconds(h.clock.now()));
        h.receive(a.bytes);
        if (relays && !sendsFail && listening && repeated) {
            require(h.winsockServ().sent.size() <= relayedBefore + 1, "a repeated datagram was relayed twice");
        } else if (relays && !sendsFail && listening) {
            const auto& sent = h.winsockServ().sent;
            require(sent.size() == relayedBefore + 1, "a datagram was not relayed exactly once");
            require(sent.back().bytes == a.bytes, "a datagram was relayed changed");
            require(sent.back().host == "127.0.0.1" && sent.back().port == kRelayPort, "relayed to the wrong place");
            if (further) {
                const auto& more = h.sockets.at(4)->sent;
                require(more.size() == furtherBefore + 1 && more.back().bytes == a.bytes &&
                            more.back().port == kFurtherPort,
                        "the further target did not get the datagram exactly once, unchanged");
            }
        }
        setSendFailures(h, false);
        if ((a.step & fuzz::step::kRelayAnswers) != 0) {
            h.winsockServ().receive(a.bytes);
            if (further) {
                h.sockets.at(4)->receive(a.bytes);
            }
            // Someone else who found the relay's port is never passed on.
            h.winsockServ().receiveFrom({"127.0.0.2", kRelayPort}, a.bytes);
        }
        if ((a.step & fuzz::step::kLogAnswers) != 0) {
            h.winsock3().receive(a.bytes);
        }
        if ((a.step & fuzz::step::kSocketErrors) != 0) {
            h.winsockServ().raiseError(10061, "Connection refused");
            h.winsock2().raiseError(11001, "Host not found");
            h.winsock3().raiseError(10061, "Connection refused");
        }
        std::int64_t pauseMs = fuzz::kPausesMs[a.step & fuzz::step::kPauseMask];
        if (isStatus(a.bytes) && pauseMs < 16000) {
            pauseMs = 16000;
        }
        h.clock.advanceMs(pauseMs);
        if (h.trace().size() > kTraceKeptBytes) {
            h.clearTrace();
        }
    }
    // Answers passed back go only to the radio program that sent, and only what names it.
    for (const auto& s : h.winsock1().sent) {
        require((session.options & fuzz::option::kPassReplies) != 0, "an answer passed back with the option off");
        require(s.host == FakeUdpSocket::kRadio.address && s.port == FakeUdpSocket::kRadio.port,
                "an answer passed to an address no radio program sent from");
        require(s.bytes.compare(0, 4, "\xAD\xBC\xCB\xDA") == 0, "something other than a WSJT-X message passed back");
    }
    // Long enough for the spot timer (1 to 50 s) to send the whole queue.
    h.clock.advance(61);
    for (const auto& s : h.winsock2().sent) {
        require(s.bytes.compare(0, 5, "WSJT|") == 0 && s.port == 7350, "something other than a spot record");
    }
    for (const auto& s : h.winsock3().sent) {
        require(s.bytes.compare(0, 6, "QFLOG|") == 0 && s.port == 7350, "something other than a QSO record");
    }
    // Whatever the datagrams held, the status page's data is one valid JSON document.
    require(fuzz::JsonCheck(h.program->statusJson()).wholeValue(), "the status snapshot is not valid JSON");
    h.program->closing();
    return 0;
}
