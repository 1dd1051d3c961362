#include "settings/profile_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fakes/fake_file_system.h"
#include "platform/posix_file_system.h"

namespace qf {
namespace {

const std::string kFolder = "/home/op/.config/Quillfeed";
const std::string kPath = kFolder + "/config.ini";

TEST(ProfileFile, reads_values_the_way_the_desktop_profile_call_does)
{
    const std::string long5000(5000, 'x');
    struct Row {
        const char* name;
        std::string content;
        const char* key;
        std::string expected;
    } rows[] = {
        {"plain", "[OPTIONS]\r\nUdpPort=2237\r\n", "UdpPort", "2237"},
        {"key in another case", "[OPTIONS]\r\nudpport=2237\r\n", "UDPPORT", "2237"},
        {"section in another case", "[options]\r\nUdpPort=2237\r\n", "UdpPort", "2237"},
        {"blanks and tabs around", "[ OPTIONS ]\r\n  UdpPort \t=  \t2237 \t\r\n", "UdpPort", "2237"},
        {"blank inside kept", "[OPTIONS]\r\nServIP=a b\r\n", "ServIP", "a b"},
        {"LF only, no final break", "[OPTIONS]\nTrace=1\nUdpPort=2237", "UdpPort", "2237"},
        {"blank lines and comments", "\r\n; note\r\n[OPTIONS]\r\n\r\n;UdpPort=1\r\nUdpPort=2237\r\n", "UdpPort",
         "2237"},
        {"other sections ignored", "[OTHER]\r\nUdpPort=1\r\n[OPTIONS]\r\nUdpPort=2237\r\n[MORE]\r\nUdpPort=3\r\n",
         "UdpPort", "2237"},
        {"key before any section ignored", "UdpPort=1\r\n[OPTIONS]\r\n", "UdpPort", "fb"},
        {"first of two wins", "[OPTIONS]\r\nUdpPort=1\r\nUdpPort=2\r\n", "UdpPort", "1"},
        {"equals sign in value", "[OPTIONS]\r\nServIP=a=b\r\n", "ServIP", "a=b"},
        {"empty value is not missing", "[OPTIONS]\r\nMyLocator=\r\n", "MyLocator", ""},
        {"bytes above 127 kept", "[OPTIONS]\r\nMyStationId=\xE9\xFF\x80\r\n", "MyStationId", "\xE9\xFF\x80"},
        {"5000 characters cut to 1023", "[OPTIONS]\r\nMyStationId=" + long5000 + "\r\n", "MyStationId",
         std::string(1023, 'x')},
        {"missing key", "[OPTIONS]\r\nTrace=1\r\n", "UdpPort", "fb"},
        {"missing section", "[OTHER]\r\nUdpPort=1\r\n", "UdpPort", "fb"},
        {"key without equals sign", "[OPTIONS]\r\nUdpPort\r\n", "UdpPort", "fb"},
        {"UTF-8 mark before the header", "\xEF\xBB\xBF[OPTIONS]\r\nUdpPort=2237\r\n", "UdpPort", "2237"},
        {"empty file", "", "UdpPort", "fb"},
    };
    for (const auto& row : rows) {
        test::FakeFileSystem fs;
        fs.files[kPath] = row.content;
        EXPECT_EQ(getProfileString(fs, kPath, "OPTIONS", row.key, "fb"), row.expected) << row.name;
    }
}

TEST(ProfileFile, fallback_is_trimmed_and_used_when_the_file_is_missing_or_unreadable)
{
    test::FakeFileSystem fs;
    EXPECT_EQ(getProfileString(fs, kPath, "OPTIONS", "UdpPort", " \t? "), "?");
    fs.files[kPath] = "[OPTIONS]\r\nUdpPort=2237\r\n";
    fs.unreadable = true;
    EXPECT_EQ(getProfileString(fs, kPath, "OPTIONS", "UdpPort", "?"), "?");
}

TEST(ProfileFile, writes_one_key_and_keeps_every_other_byte)
{
    struct Row {
        const char* name;
        std::string before;
        const char* key;
        const char* value;
        std::string after;
    } rows[] = {
        {"replaced in place", "[OPTIONS]\r\nUdpPort=2237\r\nTrace=0\r\n", "UdpPort", "2238",
         "[OPTIONS]\r\nUdpPort=2238\r\nTrace=0\r\n"},
        {"replacement keeps the file's spelling, other line endings kept",
         "; mine\n[options]\n  udpport = 1  \nTrace=0", "UdpPort", "2", "; mine\n[options]\nudpport=2\r\nTrace=0"},
        {"replaced last line without break", "[OPTIONS]\r\nUdpPort=1", "UdpPort", "2", "[OPTIONS]\r\nUdpPort=2\r\n"},
        {"new key after the section's last non-blank line", "[OPTIONS]\r\nUdpPort=1\r\n\r\n[OTHER]\r\nA=1\r\n", "Trace",
         "1", "[OPTIONS]\r\nUdpPort=1\r\nTrace=1\r\n\r\n[OTHER]\r\nA=1\r\n"},
        {"new key in an empty section", "[OPTIONS]\r\n[OTHER]\r\n", "Trace", "1",
         "[OPTIONS]\r\nTrace=1\r\n[OTHER]\r\n"},
        {"new key after a last line without break", "[OPTIONS]\r\nUdpPort=1", "Trace", "1",
         "[OPTIONS]\r\nUdpPort=1\r\nTrace=1\r\n"},
        {"missing section appended", "[OTHER]\r\nA=1", "Trace", "1", "[OTHER]\r\nA=1\r\n[OPTIONS]\r\nTrace=1\r\n"},
        {"bytes above 127 stored as they are", "[OPTIONS]\r\nX=\xE9\r\n", "MyStationId", "\xC4\xFF",
         "[OPTIONS]\r\nX=\xE9\r\nMyStationId=\xC4\xFF\r\n"},
        {"a line break cannot smuggle in another key", "[OPTIONS]\r\n", "ServIP", "1.2.3.4\r\nTrace=1",
         "[OPTIONS]\r\nServIP=1.2.3.4\r\n"},
    };
    for (const auto& row : rows) {
        test::FakeFileSystem fs;
        fs.dirs.insert(kFolder);
        fs.files[kPath] = row.before;
        EXPECT_TRUE(writeProfileString(fs, kPath, "OPTIONS", row.key, row.value)) << row.name;
        EXPECT_EQ(fs.files[kPath], row.after) << row.name;
    }
}

TEST(ProfileFile, first_write_creates_the_file)
{
    test::FakeFileSystem fs;
    fs.dirs.insert(kFolder);
    EXPECT_TRUE(writeProfileString(fs, kPath, "OPTIONS", "UdpPort", "2237"));
    EXPECT_EQ(fs.files[kPath], "[OPTIONS]\r\nUdpPort=2237\r\n");
}

TEST(ProfileFile, failed_writes_leave_the_old_file_exactly_as_it_was)
{
    const std::string old = "[OPTIONS]\nUdpPort=1\nTrace=1";
    {
        test::FakeFileSystem fs;
        fs.dirs.insert(kFolder);
        fs.files[kPath] = old;
        fs.readOnly = true;
        EXPECT_FALSE(writeProfileString(fs, kPath, "OPTIONS", "UdpPort", "2"));
        EXPECT_EQ(fs.files[kPath], old);
    }
    {
        // Unreadable: writing would keep only the one key and lose the rest.
        test::FakeFileSystem fs;
        fs.dirs.insert(kFolder);
        fs.files[kPath] = old;
        fs.unreadable = true;
        EXPECT_FALSE(writeProfileString(fs, kPath, "OPTIONS", "UdpPort", "2"));
        EXPECT_EQ(fs.files[kPath], old);
        EXPECT_EQ(fs.writes, 0);
    }
    {
        test::FakeFileSystem fs; // the folder of a "/C=" path does not exist
        EXPECT_FALSE(writeProfileString(fs, kPath, "OPTIONS", "UdpPort", "2"));
        EXPECT_TRUE(fs.files.empty());
    }
}

std::string slurp(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ProfileFileOnDisk, write_replaces_the_file_whole_or_not_at_all)
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "qf-profile-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    const std::filesystem::path dir = tmpl;
    const std::string path = (dir / "config.ini").string();
    PosixFileSystem fs;

    {
        std::ofstream(path, std::ios::binary) << "[OPTIONS]\r\nUdpPort=1\r\nTrace=1\r\n";
    }
    EXPECT_TRUE(writeProfileString(fs, path, "OPTIONS", "UdpPort", "2237"));
    EXPECT_EQ(slurp(path), "[OPTIONS]\r\nUdpPort=2237\r\nTrace=1\r\n");

    // A write that fails half-way (the file-size limit stops it) keeps the old file whole.
    const std::string before = slurp(path);
    {
        rlimit old{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 16;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool written = writeProfileString(fs, path, "OPTIONS", "MyStationId", std::string(100, 'Q'));
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_FALSE(written);
    }
    EXPECT_EQ(slurp(path), before);

    const std::filesystem::path missing = dir / "missing";
    EXPECT_FALSE(fs.writeAtomically((missing / "config.ini").string(), "x"));
    EXPECT_FALSE(std::filesystem::exists(missing));

    // Neither the failed write nor the good one leaves a temporary file behind.
    std::size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        EXPECT_EQ(entry.path().filename(), "config.ini");
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
    std::filesystem::remove_all(dir);
}

// Runs write in a child process and gives its wait status (exit 0: write returned true). As root
// no permission bit stops a write, so the child becomes nobody.
int childStatus(const std::filesystem::path& dir, const std::function<bool()>& write)
{
    const bool root = ::geteuid() == 0;
    if (root) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
            EXPECT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
        }
        EXPECT_EQ(::chown(dir.c_str(), 65534, 65534), 0);
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const bool ok = (!root || (::setgid(65534) == 0 && ::setuid(65534) == 0)) && write();
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

bool writtenAsUser(const std::filesystem::path& dir, const std::string& path, const std::string& bytes)
{
    const int status = childStatus(dir, [&] { return PosixFileSystem().writeAtomically(path, bytes); });
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(ProfileFileOnDisk, writes_keep_read_only_files_links_and_closed_folders_as_linux_has_them)
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "qf-profile-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    const std::filesystem::path dir = tmpl;
    const auto file = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return (dir / name).string();
    };
    PosixFileSystem fs;

    // No write bit: read-only for everyone, the root running these tests included.
    const std::string readOnly = file("readonly.ini", "old");
    ::chmod(readOnly.c_str(), 0444);
    EXPECT_FALSE(fs.writeAtomically(readOnly, "new"));
    EXPECT_EQ(slurp(readOnly), "old");

    // A chain of links, relative and absolute, to a file in another folder: the links stay.
    std::filesystem::create_directory(dir / "elsewhere");
    const std::string target = file("elsewhere/config.ini", "old");
    ::chmod(target.c_str(), 0640);
    std::filesystem::create_symlink("elsewhere/config.ini", dir / "hop");
    std::filesystem::create_symlink(dir / "hop", dir / "link.ini");
    EXPECT_TRUE(fs.writeAtomically((dir / "link.ini").string(), "new"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "hop"));
    EXPECT_EQ(slurp(target), "new");
    EXPECT_EQ(std::filesystem::status(target).permissions(), static_cast<std::filesystem::perms>(0640));

    // A link to a file not made yet: the first write makes it; a loop is written nowhere.
    std::filesystem::create_symlink("elsewhere/new.ini", dir / "dangling.ini");
    EXPECT_TRUE(fs.writeAtomically((dir / "dangling.ini").string(), "first"));
    EXPECT_EQ(slurp(dir / "elsewhere/new.ini"), "first");
    std::filesystem::create_symlink("loop.ini", dir / "loop.ini");
    EXPECT_FALSE(fs.writeAtomically((dir / "loop.ini").string(), "x"));

    // A folder that takes no new file: a writable file in it is written in place, a new one not.
    std::filesystem::create_directory(dir / "closed");
    const std::string closed = file("closed/config.ini", "[OPTIONS]\r\nUdpPort=2237\r\nTrace=1\r\n");
    ::chmod((dir / "closed").c_str(), 0555);
    EXPECT_TRUE(writtenAsUser(dir, closed, "[OPTIONS]\r\nUdpPort=1\r\n"));
    EXPECT_EQ(slurp(closed), "[OPTIONS]\r\nUdpPort=1\r\n");
    EXPECT_FALSE(writtenAsUser(dir, (dir / "closed/other.ini").string(), "x"));

    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"closed", "config.ini", "config.ini", "dangling.ini", "elsewhere", "hop",
                                               "link.ini", "loop.ini", "new.ini", "readonly.ini"}))
        << "no temporary file left behind";
    ::chmod((dir / "closed").c_str(), 0755);
    std::filesystem::remove_all(dir);
}

// In a folder that takes no new file the write goes in place; under a file-size limit it must fail
// before it touches the file, whether SIGXFSZ would end the program or is ignored.
TEST(ProfileFileOnDisk, a_write_in_place_that_cannot_finish_leaves_the_file_as_it_was)
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "qf-profile-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    const std::filesystem::path dir = tmpl;
    std::filesystem::create_directory(dir / "closed");
    const std::string path = (dir / "closed/config.ini").string();
    const std::string old = "[OPTIONS]\r\nUdpPort=2237\r\nMoreRelays=127.0.0.1:41063\r\n";
    std::ofstream(path, std::ios::binary) << old;
    ::chmod((dir / "closed").c_str(), 0555);
    for (const bool ignored : {false, true}) {
        for (const rlim_t limit : {old.size() + 10, old.size() - 10}) {
            const int status = childStatus(dir, [&] {
                if (ignored) {
                    std::signal(SIGXFSZ, SIG_IGN);
                }
                rlimit small{};
                ::getrlimit(RLIMIT_FSIZE, &small);
                small.rlim_cur = limit;
                PosixFileSystem fs;
                return ::setrlimit(RLIMIT_FSIZE, &small) == 0 &&
                       writeProfileString(fs, path, "OPTIONS", "UdpPort", std::string(100, '1'));
            });
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1)
                << "limit " << limit << (ignored ? ", SIGXFSZ ignored" : "") << ": wait status " << status;
            EXPECT_EQ(slurp(path), old) << "limit " << limit << (ignored ? ", SIGXFSZ ignored" : "");
        }
    }
    ::chmod((dir / "closed").c_str(), 0755);
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace qf
