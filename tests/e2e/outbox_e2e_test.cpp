// QSOs logged while the spot service is down wait in the outbox and reach the service once it is up.
#include <gtest/gtest.h>

#include <ctime>

#include "e2e/e2e_support.h"
#include "wsjtx/datagram_builder.h"

namespace qf::e2e {
namespace {

using namespace std::chrono_literals;

class Outbox : public ProgramFolder {};

TEST_F(Outbox, qsos_logged_while_nothing_listens_reach_the_service_once_each_and_in_order)
{
    if (!spotService()) {
        GTEST_SKIP() << "the spot service of this build is not a free port on this machine";
    }
    // Yesterday's QSOs, whatever a check of their time may say about later ones.
    const std::time_t yesterday = std::time(nullptr) - 24 * 60 * 60;
    std::tm day{};
    ::gmtime_r(&yesterday, &day);
    char date[16];
    std::strftime(date, sizeof date, "%Y%m%d", &day);
    std::vector<std::string> qsos;
    std::vector<std::string> records;
    for (const char* call : {"Q1AAA", "Q1BBB"}) {
        wsjtx::QsoLoggedFields f;
        f.dateOff = wsjtx::julianDay(day.tm_year + 1900, static_cast<unsigned>(day.tm_mon + 1),
                                     static_cast<unsigned>(day.tm_mday));
        f.dxCall = call;
        qsos.push_back(wsjtx::qsoLoggedMessage(f));
        records.push_back("QFLOG|" QUILLFEED_TEST_VERSION "|A|Q9ZZZ|" + std::string(date) + "180530|" + call +
                          "|14075|FT8|IN80|");
    }
    const int port = freeUdpPort();
    std::string config = readyConfig(port, freeUdpPort());
    config.replace(config.find("LogUpload=0"), 11, "LogUpload=1");
    prepare(config);
    const std::string outbox = folder() + "/Outbox.txt";
    UdpPeer sender;
    {
        RunningProgram p(dir.path(), {"--no-window"}, "");
        ASSERT_TRUE(started()) << p.output();
        for (const auto& q : qsos) {
            sender.sendTo(port, q);
        }
        ASSERT_TRUE(waitFor([&] { return readFile(outbox) == records[0] + "\n" + records[1] + "\n"; }, 10s))
            << readFile(outbox) << trace();
        // One refusal may answer both sends, and it keeps both.
        EXPECT_TRUE(waitFor([&] { return p.output().ends_with("quillfeed: 2 QSOs wait in the outbox\n"); }, 2s))
            << p.output();
        EXPECT_EQ(p.stop(), 0);
    }

    const auto service = spotService();
    ASSERT_TRUE(service);
    RunningProgram p(dir.path(), {"--no-window"}, "");
    // The first record waits for the program to start; the second follows at once.
    std::vector<std::string> got;
    if (auto first = service->receive(10s)) {
        got = service->receiveAll(1500ms, 10s);
        got.insert(got.begin(), *first);
    }
    EXPECT_EQ(got, records);
    EXPECT_TRUE(waitFor([&] { return readFile(outbox).empty(); }, 10s)) << readFile(outbox);
    const std::string told = "quillfeed: 2 QSOs wait in the outbox\n"
                             "quillfeed: 0 QSOs wait in the outbox: all were delivered\n";
    // Delivered once the refusal window has passed.
    EXPECT_TRUE(waitFor([&] { return p.output().find(told) != std::string::npos; }, 10s)) << p.output();
    EXPECT_TRUE(service->receiveAll(1000ms, 2s).empty()) << "each once";
}

} // namespace
} // namespace qf::e2e
