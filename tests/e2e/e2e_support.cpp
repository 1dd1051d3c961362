#include "e2e/e2e_support.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qf::e2e {

TempDir::TempDir()
{
    char tmpl[] = "/tmp/quillfeed-e2e-XXXXXX";
    if (::mkdtemp(tmpl) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = tmpl;
}

TempDir::~TempDir()
{
    const std::string cmd = "rm -rf '" + path_ + "'";
    if (std::system(cmd.c_str()) != 0) {
        // Nothing more to do: the folder is under /tmp.
    }
}

UdpPeer::UdpPeer(int port, const std::string& address)
{
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int big = 8 * 1024 * 1024;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &big, sizeof big);
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    a.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        throw std::runtime_error("bind failed on port " + std::to_string(port));
    }
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
}

UdpPeer::~UdpPeer()
{
    ::close(fd_);
}

void UdpPeer::sendTo(int port, const std::string& bytes) const
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
}

std::optional<std::string> UdpPeer::receive(std::chrono::milliseconds timeout) const
{
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) {
        return std::nullopt;
    }
    std::string buf(65536, '\0');
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n = ::recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0) {
        return std::nullopt;
    }
    lastSenderPort_ = ntohs(from.sin_port);
    buf.resize(static_cast<std::size_t>(n));
    return buf;
}

std::vector<std::string> UdpPeer::receiveAll(std::chrono::milliseconds quiet, std::chrono::milliseconds total) const
{
    std::vector<std::string> got;
    const auto end = std::chrono::steady_clock::now() + total;
    while (std::chrono::steady_clock::now() < end) {
        auto d = receive(quiet);
        if (!d) {
            break;
        }
        got.push_back(std::move(*d));
    }
    return got;
}

int freeUdpPort()
{
    UdpPeer probe;
    return probe.port();
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string commandOutput(const std::string& command)
{
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
            out.append(buf, n);
        }
        ::pclose(p);
    }
    return out;
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

RunningProgram::RunningProgram(const std::string& configHome, std::vector<std::string> args,
                               const std::string& platform)
{
    outputPath_ = configHome + "/program-output.txt";
    std::vector<std::string> env = {"XDG_CONFIG_HOME=" + configHome, "HOME=" + configHome};
    if (!platform.empty()) {
        env.push_back("QT_QPA_PLATFORM=" + platform);
    }
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string v = *e;
        const bool display = v.rfind("DISPLAY=", 0) == 0 || v.rfind("WAYLAND_DISPLAY=", 0) == 0;
        if (v.rfind("XDG_CONFIG_HOME=", 0) != 0 && v.rfind("QT_QPA_PLATFORM=", 0) != 0 && v.rfind("HOME=", 0) != 0 &&
            !(display && platform.empty())) {
            env.push_back(v);
        }
    }
    std::vector<char*> envp;
    for (auto& v : env) {
        envp.push_back(v.data());
    }
    envp.push_back(nullptr);
    std::string binary = QUILLFEED_BINARY;
    std::vector<char*> argv{binary.data()};
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const int rc = posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        throw std::runtime_error("cannot start " + binary);
    }
}

RunningProgram::~RunningProgram()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool RunningProgram::running()
{
    if (pid_ <= 0) {
        return false;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

int RunningProgram::stop()
{
    if (pid_ <= 0) {
        return -1;
    }
    ::kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 250; ++i) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        struct timespec ts {
            0, 20 * 1000 * 1000
        };
        nanosleep(&ts, nullptr);
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return -1;
}

const std::string& RunningProgram::output()
{
    output_ = readFile(outputPath_);
    return output_;
}

bool relayFlows(const UdpPeer& sender, int port, const UdpPeer& relay)
{
    const bool flows = waitFor(
        [&] {
            sender.sendTo(port, "probe");
            return relay.receive(std::chrono::milliseconds(100)).has_value();
        },
        std::chrono::seconds(5));
    relay.receiveAll(std::chrono::milliseconds(300), std::chrono::seconds(2));
    return flows;
}

void ProgramFolder::prepare(const std::string& config) const
{
    ::mkdir(folder().c_str(), 0755);
    writeFile(folder() + "/config.ini", config);
}

bool ProgramFolder::started() const
{
    return waitFor([&] { return trace().find("Quillfeed - V ") != std::string::npos; }, std::chrono::seconds(10));
}

std::unique_ptr<UdpPeer> spotService()
{
    const std::string host = QUILLFEED_TEST_SPOT_HOST;
    if (host != "localhost" && host != "127.0.0.1") {
        return nullptr;
    }
    if (!networkIsolated()) {
        // Outside a namespace of its own a test binds only ports it picked.
        throw std::runtime_error("the test has no network namespace of its own, so port 7350 is the machine's: run "
                                 "as root, or allow unprivileged user namespaces (sysctl "
                                 "kernel.unprivileged_userns_clone=1, user.max_user_namespaces > 0)");
    }
    return std::make_unique<UdpPeer>(kSpotServicePort);
}

std::string readyConfig(int udpPort, int relayPort, bool trace, const std::string& extra)
{
    return "[OPTIONS]\r\nUdpPort=" + std::to_string(udpPort) + "\r\nMonitorOnStarup=1\r\nTrace=" + (trace ? "1" : "0") +
           "\r\nMyStationId=Q9ZZZ\r\nMyLocator=FN42HN\r\nMulticastGroup=\r\nServIP=127.0.0.1\r\nServPort=" +
           std::to_string(relayPort) + "\r\nTop=0\r\nLeft=0\r\nLogUpload=0\r\nOnlyCQ=0\r\n" + extra;
}

} // namespace qf::e2e
