// The outbox on the real file system: killed at any moment, it leaves a whole file and every record.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fakes/fake_clock.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_udp_socket.h"
#include "platform/posix_file_system.h"
#include "upload/outbox.h"

namespace qf::test {
namespace {

std::string recordNo(long n)
{
    return "QFLOG|2.16|A|Q9ZZZ|20261207093000|Q" + std::to_string(n) + "|14075|FT8|IN80|";
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Keeps one record after another, each a rewrite of the whole file, until it is killed.
[[noreturn]] void keepRecordsUntilKilled(const std::string& path)
{
    PosixFileSystem files;
    FakeClock clock;
    FakeRegional regional;
    WindowModel window;
    TraceWriter trace(window, files, clock, regional);
    FakeUdpSocket socket;
    auto resend = clock.makeTimer();
    auto refusal = clock.makeTimer();
    Outbox outbox(window, files, trace, socket, *resend, *refusal, {});
    outbox.startUp(path);
    for (long n = static_cast<long>(outbox.waiting()); n < 100000; ++n) {
        outbox.keep(recordNo(n), "test");
    }
    ::_exit(0);
}

TEST(OutboxOnDisk, a_kill_at_any_moment_leaves_a_whole_file_and_every_record_it_held)
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "qf-outbox-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    const std::string path = tmpl + "/Outbox.txt";

    long held = 0;
    for (int round = 0; round < 60; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            keepRecordsUntilKilled(path);
        }
        ::usleep(static_cast<useconds_t>(300 + (round * 7919) % 15000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child ran out of records before the kill";

        const std::string content = slurp(path);
        long n = 0;
        for (std::size_t pos = 0; pos < content.size(); ++n) {
            const std::size_t lf = content.find('\n', pos);
            ASSERT_NE(lf, std::string::npos) << "round " << round << ": a cut last line";
            ASSERT_EQ(content.substr(pos, lf - pos), recordNo(n)) << "round " << round;
            pos = lf + 1;
        }
        ASSERT_GE(n, held) << "round " << round << ": records lost";
        held = n;
    }
    EXPECT_GT(held, 60) << "the kills came while the file was being written";
    std::filesystem::remove_all(tmpl);
}

// In a folder that takes no new file, the outbox is not written in place, where a kill could cut it.
TEST(OutboxOnDisk, a_folder_that_takes_no_new_file_is_not_written_in_place)
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "qf-outbox-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    const std::string path = tmpl + "/Outbox.txt";
    std::ofstream(path, std::ios::binary) << recordNo(1) << "\n";
    ::chmod(tmpl.c_str(), 0555);
    // Root may write anywhere: the write runs in a child that has become nobody.
    const pid_t child = ::fork();
    if (child == 0) {
        const bool asNobody = ::geteuid() != 0 || (::chown(path.c_str(), 65534, 65534) == 0 && ::setgid(65534) == 0 &&
                                                   ::setuid(65534) == 0);
        ::_exit(asNobody && !PosixFileSystem().writeByRename(path, "") && PosixFileSystem().writeAtomically(path, "x")
                    ? 0
                    : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(slurp(path), "x") << "only the settings' write goes in place";
    ::chmod(tmpl.c_str(), 0755);
    std::filesystem::remove_all(tmpl);
}

} // namespace
} // namespace qf::test
