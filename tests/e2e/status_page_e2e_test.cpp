// The status page of the real program, over loopback TCP and in Debian's Chromium.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cstdio>
#include <fstream>

#include "e2e/e2e_support.h"
#include "wsjtx/datagram_builder.h"

namespace qf::e2e {
namespace {

using namespace std::chrono_literals;

class StatusPage : public ProgramFolder {
  protected:
    // Starts the program without a window, its page on a free port, and waits until the page listens.
    void startProgram()
    {
        prepare(readyConfig(udpPort, relay.port(), true, "StatusPort=" + std::to_string(pagePort) + "\r\n"));
        program = std::make_unique<RunningProgram>(dir.path(), std::vector<std::string>{"--no-window"}, "");
        ASSERT_TRUE(started()) << program->output();
        ASSERT_TRUE(waitFor([&] { return program->output().find(address()) != std::string::npos; }, 10s))
            << program->output();
    }
    std::string address() const { return "http://127.0.0.1:" + std::to_string(pagePort) + "/"; }

    UdpPeer relay;
    int udpPort = freeUdpPort();
    int pagePort = freeTcpPort();
    std::unique_ptr<RunningProgram> program;

  private:
    static int freeTcpPort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
        ::close(fd);
        return ntohs(a.sin_port);
    }
};

// One request on a connection of its own; the answer is what came until the server fell silent.
std::string ask(int port, const std::string& request)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        pollfd p{fd, POLLIN, 0};
        char buf[65536];
        while (::poll(&p, 1, 500) > 0) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) {
                break;
            }
            answer.append(buf, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return answer;
}

// The local address of the socket listening on a TCP port, from the system's own table ("0100007F"
// is 127.0.0.1); empty when none listens.
std::string listeningAddress(int port)
{
    std::ifstream table("/proc/net/tcp");
    std::string line;
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    while (std::getline(table, line)) {
        char local[64] = {}, remote[64] = {}, state[8] = {};
        if (std::sscanf(line.c_str(), " %*d: %63s %63s %7s", local, remote, state) == 3 &&
            std::string(local).find(wanted) == 8 && std::string(state) == "0A") {
            return std::string(local).substr(0, 8);
        }
    }
    return {};
}

TEST_F(StatusPage, listens_on_127_0_0_1_by_default_answers_get_and_head_and_refuses_a_post)
{
    startProgram();
    EXPECT_EQ(listeningAddress(pagePort), "0100007F");

    const std::string host = "Host: 127.0.0.1:" + std::to_string(pagePort) + "\r\n";
    const std::string post = ask(pagePort, "POST /status.json HTTP/1.1\r\n" + host + "Content-Length: 3\r\n\r\nx=1");
    EXPECT_EQ(post.rfind("HTTP/1.1 405 ", 0), 0u) << post;
    EXPECT_NE(post.find("\r\nAllow: GET, HEAD\r\n"), std::string::npos) << post;

    const std::string get = ask(pagePort, "GET /status.json HTTP/1.1\r\n" + host + "\r\n");
    EXPECT_EQ(get.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << get;
    EXPECT_NE(get.find("\r\n\r\n{\"version\":"), std::string::npos) << get;
    EXPECT_NE(get.find("\r\nContent-Security-Policy: default-src 'none'; "), std::string::npos) << get;
    EXPECT_EQ(get.find("Set-Cookie"), std::string::npos);
    EXPECT_EQ(get.find("Access-Control-"), std::string::npos);

    const std::string head = ask(pagePort, "HEAD /status.json HTTP/1.1\r\n" + host + "\r\n");
    EXPECT_EQ(head.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << head;
    EXPECT_EQ(head.find("\r\n\r\n"), head.size() - 4) << "the headers and nothing after them: " << head;
}

TEST_F(StatusPage, a_browser_shows_the_health_line_and_the_radios_as_text_and_draws_the_last_hour)
{
    startProgram();
    UdpPeer sender;
    ASSERT_TRUE(relayFlows(sender, udpPort, relay)) << program->output();
    wsjtx::StatusFields hostile;
    hostile.id = "<img src=x onerror=alert(1)>";
    hostile.dialHz = 7074000;
    sender.sendTo(udpPort, wsjtx::statusMessage(hostile));
    sender.sendTo(udpPort, wsjtx::statusMessage({}));
    ASSERT_EQ(relay.receiveAll(500ms, 5s).size(), 2u);

    const TempDir profile;
    const std::string dom = commandOutput(
        "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking "
        "--disable-component-update --disable-sync --user-data-dir=" +
        profile.path() + " --virtual-time-budget=5000 --dump-dom " + address() + " 2>/dev/null");
    ASSERT_NE(dom.find("<html"), std::string::npos) << "Debian's chromium is needed (scripts/setup.sh installs it)";

    EXPECT_NE(dom.find("Listening on UDP port " + std::to_string(udpPort)), std::string::npos) << dom;
    EXPECT_NE(dom.find("<tr><td>WSJT-X</td><td>14.074.000</td><td>FT8</td>"), std::string::npos) << dom;
    EXPECT_NE(dom.find("<tr><td>&lt;img src=x onerror=alert(1)&gt;</td><td>7.074.000</td>"), std::string::npos) << dom;
    EXPECT_EQ(dom.find("<img"), std::string::npos) << "the Id was taken as markup: " << dom;
    const auto svg = dom.find("<svg id=\"hour\"");
    ASSERT_NE(svg, std::string::npos) << dom;
    std::size_t bars = 0;
    for (auto at = dom.find("<rect", svg); at != std::string::npos; at = dom.find("<rect", at + 1)) {
        ++bars;
    }
    EXPECT_EQ(bars, 120u) << "two bars a minute for an hour";
}

} // namespace
} // namespace qf::e2e
