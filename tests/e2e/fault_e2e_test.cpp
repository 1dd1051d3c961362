// Faults injected into the running program: a trace file that cannot be written for a while,
// settings that cannot be written at all, a relay target that refuses or cannot be reached, and
// the largest datagram UDP can carry. The program must keep going and lose nothing it could keep.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "e2e/e2e_support.h"
#include "wsjtx/datagram_builder.h"

namespace qf::e2e {
namespace {

using namespace std::chrono_literals;

std::size_t countOf(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) {
        ++n;
    }
    return n;
}

std::vector<std::string> filesIn(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class Fault : public ProgramFolder {
  protected:
    bool relayFlows(const UdpPeer& relay) { return e2e::relayFlows(sender, port, relay); }
    UdpPeer sender;
    const int port = freeUdpPort();
};

TEST_F(Fault, a_trace_file_that_cannot_be_opened_loses_only_the_lines_of_that_time)
{
    UdpPeer relay;
    prepare(readyConfig(port, relay.port()));
    RunningProgram p(dir.path());
    ASSERT_TRUE(started()) << p.output();
    ASSERT_TRUE(relayFlows(relay));

    // As root no permission bit stops the program: a folder of the same name does.
    ASSERT_EQ(::unlink(tracePath().c_str()), 0);
    ASSERT_EQ(::mkdir(tracePath().c_str(), 0755), 0);
    for (const char* text : {"while-blocked-1", "while-blocked-2"}) {
        sender.sendTo(port, text);
        const auto got = relay.receive(5s);
        ASSERT_TRUE(got.has_value()) << text;
        EXPECT_EQ(*got, text);
    }
    ASSERT_EQ(::rmdir(tracePath().c_str()), 0);

    sender.sendTo(port, "after-blocked");
    ASSERT_TRUE(waitFor([&] { return trace().find("Rcvd *after-blocked*") != std::string::npos; }, 5s));
    EXPECT_EQ(trace().find("while-blocked"), std::string::npos);
    ASSERT_TRUE(relay.receive(5s).has_value());
    EXPECT_TRUE(p.running());
    EXPECT_EQ(p.stop(), 0);
}

TEST_F(Fault, a_settings_path_inside_a_file_starts_and_closes_without_writing_anything)
{
    const std::string blocker = dir.path() + "/blocker";
    writeFile(blocker, "a file, not a folder");
    RunningProgram p(dir.path(), {"/C=" + blocker + "/config.ini"});
    ASSERT_TRUE(waitFor([&] { return ::access(folder().c_str(), F_OK) == 0; }, 10s)) << p.output();
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(p.running()) << p.output();
    EXPECT_EQ(p.stop(), 0) << "closing saves the position, and that must fail quietly";
    EXPECT_EQ(readFile(blocker), "a file, not a folder");
    EXPECT_EQ(filesIn(folder()), std::vector<std::string>{});
}

// chattr +i stops root too. Undone at the end so the folder can be removed.
class Immutable {
  public:
    explicit Immutable(std::string path) : path_(std::move(path))
    {
        set_ = std::system(("chattr +i '" + path_ + "' 2>/dev/null").c_str()) == 0;
    }
    ~Immutable()
    {
        if (set_ && std::system(("chattr -i '" + path_ + "' 2>/dev/null").c_str()) != 0) {
            ADD_FAILURE() << "could not make " << path_ << " writable again";
        }
    }
    bool set() const { return set_; }

  private:
    std::string path_;
    bool set_ = false;
};

TEST_F(Fault, an_unwritable_settings_file_is_read_and_the_program_monitors_relays_and_closes)
{
    UdpPeer relay;
    const std::string config = readyConfig(port, relay.port());
    prepare(config);
    Immutable locked(folder() + "/config.ini");
    if (!locked.set()) {
        GTEST_SKIP() << "chattr +i is not available on this file system";
    }
    RunningProgram p(dir.path());
    ASSERT_TRUE(started()) << p.output();
    ASSERT_TRUE(relayFlows(relay));
    sender.sendTo(port, wsjtx::statusMessage({}));
    ASSERT_TRUE(waitFor([&] { return trace().find("  MSG_1: QRG=14.074.000") != std::string::npos; }, 5s));
    EXPECT_EQ(p.stop(), 0) << "closing saves the position, and that must fail quietly";
    EXPECT_EQ(readFile(folder() + "/config.ini"), config);
    EXPECT_EQ(filesIn(folder()), (std::vector<std::string>{"Trace.txt", "config.ini"})) << "no temporary file left";
}

TEST_F(Fault, a_closed_relay_target_is_traced_at_most_once_per_datagram_and_relaying_resumes_for_a_listener)
{
    const int relayPort = freeUdpPort();
    prepare(readyConfig(port, relayPort));
    RunningProgram p(dir.path());
    ASSERT_TRUE(started()) << p.output();
    const std::string refused = "WinSockServ: Error (10061) ";
    constexpr int kRefused = 5;
    for (int i = 0; i < kRefused; ++i) {
        sender.sendTo(port, "nobody-listens-" + std::to_string(i));
        std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(waitFor([&] { return trace().find("Rcvd *nobody-listens-4*") != std::string::npos; }, 5s));
    ASSERT_TRUE(waitFor([&] { return countOf(trace(), refused) >= 1; }, 5s)) << trace();
    std::this_thread::sleep_for(300ms);
    EXPECT_LE(countOf(trace(), refused), static_cast<std::size_t>(kRefused));

    UdpPeer relay(relayPort);
    std::vector<std::string> sent;
    for (int i = 0; i < 3; ++i) {
        sent.push_back(wsjtx::heartbeatMessage("listener-" + std::to_string(i)));
        sender.sendTo(port, sent.back());
    }
    EXPECT_EQ(relay.receiveAll(1000ms, 10s), sent);
    EXPECT_TRUE(p.running());
}

TEST_F(Fault, further_relay_targets_get_every_datagram_in_order_past_a_closed_one_and_an_unreadable_item)
{
    UdpPeer relay, first, last;
    const int closed = freeUdpPort();
    const std::string list = "127.0.0.1:" + std::to_string(first.port()) + " 127.0.0.1:" + std::to_string(closed) +
                             " 127.0.0.1:x 127.0.0.1:" + std::to_string(last.port());
    prepare(readyConfig(port, relay.port(), true, "MoreRelays=" + list + "\r\n"));
    RunningProgram p(dir.path());
    ASSERT_TRUE(started()) << p.output();
    ASSERT_TRUE(relayFlows(relay));
    first.receiveAll(300ms, 2s);
    last.receiveAll(300ms, 2s);

    std::vector<std::string> sent = {"", wsjtx::statusMessage({})};
    for (int i = 0; i < 100; ++i) {
        sent.push_back(wsjtx::heartbeatMessage("datagram-" + std::to_string(i)));
    }
    for (const auto& d : sent) {
        sender.sendTo(port, d);
    }
    for (const UdpPeer* target : {&relay, &first, &last}) {
        EXPECT_EQ(target->receiveAll(1000ms, 10s), sent) << target->port();
    }
    const std::string refused = "WinSockServ[127.0.0.1:" + std::to_string(closed) + "]: Error (10061) ";
    ASSERT_TRUE(waitFor([&] { return countOf(trace(), refused) >= 1; }, 5s)) << trace();
    EXPECT_LE(countOf(trace(), refused), countOf(trace(), "Entering Winsock1.DataArrival")) << "once per datagram";
    EXPECT_EQ(countOf(trace(), "WinSockServ: Error"), 0u);
    EXPECT_EQ(countOf(trace(), "CStart: Error in WinsockServ[127.0.0.1:x]: 10022 - "), 1u);
    EXPECT_TRUE(p.running());
}

TEST_F(Fault, a_relay_address_the_kernel_refuses_gives_one_trace_line_per_datagram_and_monitoring_goes_on)
{
    // Loopback's broadcast address without permission to broadcast: refused before it leaves, on
    // any machine with loopback up (255.255.255.255 needs a default route to be refused so).
    std::string config = readyConfig(port, 52237);
    config.replace(config.find("ServIP=127.0.0.1"), 16, "ServIP=127.255.255.255");
    prepare(config);
    RunningProgram p(dir.path());
    ASSERT_TRUE(started()) << p.output();
    sender.sendTo(port, wsjtx::heartbeatMessage());
    sender.sendTo(port, wsjtx::statusMessage({}));
    sender.sendTo(port, "plain text");
    sender.sendTo(port, wsjtx::qsoLoggedMessage({}));
    ASSERT_TRUE(waitFor([&] { return countOf(trace(), "Entering Winsock1.DataArrival") == 4; }, 5s)) << trace();
    std::this_thread::sleep_for(300ms);
    const std::string t = trace();
    EXPECT_EQ(countOf(t, "Winsock1.DataArrival: ** Error 10013 - "), 4u) << t;
    EXPECT_EQ(countOf(t, "** Error"), 4u) << t;
    EXPECT_NE(t.find("  MSG_1: QRG=14.074.000 / Mode=FT8"), std::string::npos);
    EXPECT_TRUE(p.running());
}

TEST_F(Fault, the_largest_datagram_is_relayed_whole_and_the_next_one_follows)
{
    UdpPeer relay;
    prepare(readyConfig(port, relay.port()));
    RunningProgram p(dir.path());
    ASSERT_TRUE(started()) << p.output();
    ASSERT_TRUE(relayFlows(relay));

    std::string largest(65507, '\0');
    for (std::size_t i = 0; i < largest.size(); ++i) {
        largest[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    }
    largest.replace(0, 4, "\xAD\xBC\xCB\xDA");
    sender.sendTo(port, largest);
    sender.sendTo(port, wsjtx::heartbeatMessage());
    const auto got = relay.receiveAll(1000ms, 10s);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].size(), largest.size());
    EXPECT_TRUE(got[0] == largest);
    EXPECT_EQ(got[1], wsjtx::heartbeatMessage());
    EXPECT_TRUE(p.running());
}

} // namespace
} // namespace qf::e2e
