// quillfeed-send: feeds a listener WSJT-X datagrams without a radio (see --help).
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "quillfeed-send/command_line.h"
#include "quillfeed-send/traffic.h"
#include "quillfeed-send/udp_sender.h"

namespace {

constexpr int kSendFailed = 1;
constexpr int kBadArguments = 2;

void printSent(const std::string& label, std::size_t size)
{
    std::cout << "sent " << label << " (" << size << " bytes)" << std::endl;
}

int playSteps(qf::send::UdpSender& sender, const std::vector<qf::send::Step>& steps)
{
    for (const auto& step : steps) {
        if (step.waitMs > 0) {
            std::cerr << "waiting " << step.waitMs << " ms";
            if (!step.waitReason.empty()) {
                std::cerr << " (" << step.waitReason << ")";
            }
            std::cerr << std::endl;
            std::this_thread::sleep_for(std::chrono::milliseconds(step.waitMs));
        }
        if (!sender.send(step.bytes)) {
            std::cerr << "quillfeed-send: " << sender.error() << std::endl;
            return kSendFailed;
        }
        printSent(step.label, step.bytes.size());
    }
    return 0;
}

int playBurst(qf::send::UdpSender& sender, const qf::send::Invocation& inv)
{
    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    const std::uint32_t timeMs = qf::send::periodStart(qf::send::utcNow().msOfDay);
    std::uint64_t bytes = 0;
    for (std::uint64_t i = 0; i < inv.burst.count; ++i) {
        if (inv.burst.ratePerSecond > 0) {
            std::this_thread::sleep_until(started + std::chrono::microseconds(i * 1000000 / inv.burst.ratePerSecond));
        }
        const auto step = qf::send::decodeStep(inv.target, qf::send::burstDecode(i), timeMs);
        if (!sender.send(step.bytes)) {
            std::cerr << "quillfeed-send: " << sender.error() << " (after " << i << " datagrams)" << std::endl;
            return kSendFailed;
        }
        bytes += step.bytes.size();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    std::cout << "sent " << inv.burst.count << " Decode datagrams (" << bytes << " bytes) in " << seconds << " s"
              << std::endl;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto parsed = qf::send::parseCommandLine(args);
    if (parsed.help) {
        std::cout << qf::send::kUsage;
        return 0;
    }
    if (!parsed.error.empty()) {
        std::cerr << "quillfeed-send: " << parsed.error << "\nTry 'quillfeed-send --help'." << std::endl;
        return kBadArguments;
    }
    const auto& inv = parsed.invocation;

    qf::send::UdpSender sender;
    switch (sender.open(inv.target)) {
    case qf::send::UdpSender::OpenResult::BadHost:
        std::cerr << "quillfeed-send: " << sender.error() << std::endl;
        return kBadArguments;
    case qf::send::UdpSender::OpenResult::SocketFailed:
        std::cerr << "quillfeed-send: " << sender.error() << std::endl;
        return kSendFailed;
    case qf::send::UdpSender::OpenResult::Ok:
        break;
    }
    if (inv.command == qf::send::Command::Burst) {
        return playBurst(sender, inv);
    }
    return playSteps(sender, qf::send::plan(inv, qf::send::utcNow()));
}
