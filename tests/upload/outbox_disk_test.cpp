// The outbox on the real file system: killed at any moment, it leaves a whole file and every record.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <sys/time.h>
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

std::string recordNo(char program, long n)
{
    return "QFLOG|2.16|A|Q9ZZZ|20261207093000|Q" + std::string(1, program) + std::to_string(n) + "|14075|FT8|IN80|";
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Keeps one record after another, each a locked rewrite of the whole file, until it is killed.
[[noreturn]] void keepRecordsUntilKilled(const std::string& path, char program)
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
    const std::string own = "|Q" + std::string(1, program);
    const auto records = outbox.waitingRecords();
    long n = std::count_if(records.begin(), records.end(), [&](const std::string& r) { return r.find(own) != r.npos; });
    for (; n < 10000000; ++n) {
        outbox.keep(recordNo(program, n), "test");
    }
    ::_exit(0);
}

// How many records of each program the file holds; they must come whole and in order.
std::map<char, long> heldRecords(const std::string& content)
{
    std::map<char, long> held{{'A', 0}, {'B', 0}};
    for (std::size_t pos = 0; pos < content.size();) {
        const std::size_t lf = content.find('\n', pos);
        EXPECT_NE(lf, std::string::npos) << "a cut last line";
        if (lf == std::string::npos) {
            break;
        }
        const std::string line = content.substr(pos, lf - pos);
        const char program = line.size() > 35 ? line[35] : '?';
        EXPECT_TRUE(held.count(program) != 0 && line == recordNo(program, held[program])) << line;
        ++held[program];
        pos = lf + 1;
    }
    return held;
}

// Two programs on one outbox, killed together at any moment: a whole file, and every record that
// either of them had written.
TEST(OutboxOnDisk, two_programs_killed_at_any_moment_leave_a_whole_file_and_every_record_they_held)
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "qf-outbox-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    const std::string path = tmpl + "/Outbox.txt";

    std::map<char, long> held{{'A', 0}, {'B', 0}};
    for (int round = 0; round < 30; ++round) {
        pid_t children[2] = {};
        for (const char program : {'A', 'B'}) {
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                keepRecordsUntilKilled(path, program);
            }
            children[program - 'A'] = child;
        }
        // Both have written, however loaded the machine: then the kill comes at a moment of chance.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            const auto now = heldRecords(slurp(path));
            if ((now.at('A') > held['A'] && now.at('B') > held['B']) || std::chrono::steady_clock::now() > deadline) {
                break;
            }
            ::usleep(1000);
        }
        ::usleep(static_cast<useconds_t>((round * 7919) % 3000));
        for (const pid_t child : children) {
            ::kill(child, SIGKILL);
            int status = 0;
            ::waitpid(child, &status, 0);
            ASSERT_TRUE(WIFSIGNALED(status)) << "a child ran out of records before the kill";
        }
        const auto now = heldRecords(slurp(path));
        for (const char program : {'A', 'B'}) {
            ASSERT_GT(now.at(program), held[program]) << "round " << round << ": records of " << program << " lost";
            held[program] = now.at(program);
        }
    }
    std::filesystem::remove_all(tmpl);
}

// The resender's lock: never waited for, and free again once its holder lets it go.
TEST(OutboxOnDisk, the_resender_lock_is_had_by_one_holder_at_a_time)
{
    std::string dir = (std::filesystem::temp_directory_path() / "qf-lock-XXXXXX").string();
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    PosixFileSystem files;
    const std::string path = dir + "/Outbox.txt.lock";
    auto first = files.tryLockFile(path);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(files.tryLockFile(path), nullptr);
    first.reset();
    EXPECT_NE(files.tryLockFile(path), nullptr);
    std::filesystem::remove_all(dir);
}

// Only this program's temporary files, a minute old: younger ones may be a write under way.
TEST(OutboxOnDisk, leftovers_of_cut_writes_are_removed_once_a_minute_old)
{
    std::string dir = (std::filesystem::temp_directory_path() / "qf-leftovers-XXXXXX").string();
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    const std::string names[] = {".quillfeed-Ab12Z9", ".quillfeed-abc", "quillfeed-Ab12Z9", ".quillfeed-Ab12Z9x",
                                 "Outbox.txt"};
    const timeval old[2] = {{std::time(nullptr) - 120, 0}, {std::time(nullptr) - 120, 0}};
    for (const std::string& name : names) {
        std::ofstream(dir + "/" + name) << "x";
        ::utimes((dir + "/" + name).c_str(), old);
    }
    std::ofstream(dir + "/.quillfeed-Cd34Y8") << "a write under way";
    ::mkdir((dir + "/.quillfeed-Dir123").c_str(), 0755);
    ::utimes((dir + "/.quillfeed-Dir123").c_str(), old);

    EXPECT_EQ(PosixFileSystem().removeLeftovers(dir), std::vector<std::string>{dir + "/.quillfeed-Ab12Z9"});
    std::set<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        left.insert(entry.path().filename().string());
    }
    EXPECT_EQ(left, (std::set<std::string>{".quillfeed-abc", "quillfeed-Ab12Z9", ".quillfeed-Ab12Z9x", "Outbox.txt",
                                           ".quillfeed-Cd34Y8", ".quillfeed-Dir123"}));
    std::filesystem::remove_all(dir);
}

// In a folder that takes no new file, the outbox is not written in place, where a kill could cut it.
TEST(OutboxOnDisk, a_folder_that_takes_no_new_file_is_not_written_in_place)
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "qf-outbox-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    const std::string path = tmpl + "/Outbox.txt";
    std::ofstream(path, std::ios::binary) << recordNo('A', 1) << "\n";
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
