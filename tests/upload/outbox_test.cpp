#include "upload/outbox.h"

#include <gtest/gtest.h>

#include "support/program_harness.h"

namespace qf::test {
namespace {

const std::string kOutboxPath = std::string(kAppFolder) + "/Outbox.txt";

// QSOs ended at 09:30:00 of the harness's day, before its clock.
std::string qso(const std::string& call)
{
    wsjtx::QsoLoggedFields f;
    f.dxCall = call;
    f.timeOff = 34200000;
    return wsjtx::qsoLoggedMessage(f);
}

std::string record(const std::string& call)
{
    return "QFLOG|2.16|A|Q9ZZZ|20261207093000|" + call + "|14075|FT8|IN80|";
}

std::vector<std::string> sentBytes(const FakeUdpSocket& s)
{
    std::vector<std::string> bytes;
    for (const auto& d : s.sent) {
        bytes.push_back(d.bytes);
    }
    return bytes;
}

void uploadingOperator(ProgramHarness& h)
{
    h.readyOperator();
    h.files.files[kConfigPath].replace(h.files.files[kConfigPath].find("LogUpload=0"), 11, "LogUpload=1");
}

// An operator with the upload ticked, on a program that may follow an earlier one's files.
struct Station {
    explicit Station(const FakeFileSystem* before = nullptr, std::vector<std::string> args = {}) : h(std::move(args))
    {
        if (before != nullptr) {
            h.files = *before;
        } else {
            uploadingOperator(h);
        }
        h.program->startUp();
        h.startMonitoring();
    }
    // What the outbox said on standard error, less what the health of the program says there.
    std::vector<std::string> notices() const
    {
        std::vector<std::string> said;
        for (const std::string& line : h.notices) {
            if (line.rfind("listening on UDP port ", 0) != 0 && line.rfind("QSO with ", 0) != 0) {
                said.push_back(line);
            }
        }
        return said;
    }
    std::optional<std::string> outbox() const
    {
        const auto it = h.files.files.find(kOutboxPath);
        return it == h.files.files.end() ? std::nullopt : std::optional(it->second);
    }
    ProgramHarness h;
};

TEST(Outbox, a_qso_is_kept_when_its_send_fails_or_an_error_follows_within_5_s)
{
    const struct {
        const char* name;
        void (*after)(FakeUdpSocket&, FakeClock&);
        std::optional<Failure> sendFailure;
        const char* reason; // empty: delivered, not kept
    } rows[] = {
        {"no route", nullptr, Failure(10065, "No route to host"), "its send failed: 10065 - No route to host"},
        {"host name not found at the send", nullptr, Failure(11001, "Host not found"),
         "its send failed: 11001 - Host not found"},
        {"refused after 4.9 s",
         [](FakeUdpSocket& s, FakeClock& c) {
             c.advanceMs(4900);
             s.raiseError(10061, "Connection refused");
         },
         std::nullopt, "an error followed its send: 10061 - Connection refused"},
        {"refused after 5 s",
         [](FakeUdpSocket& s, FakeClock& c) {
             c.advanceMs(5000);
             s.raiseError(10061, "Connection refused");
         },
         std::nullopt, ""},
        {"host name failed after 8 s of look-up",
         [](FakeUdpSocket& s, FakeClock& c) {
             s.heldForName = 1;
             c.advance(8);
             s.heldForName = 0;
             s.raiseError(11001, "Host not found");
         },
         std::nullopt, "an error followed its send: 11001 - Host not found"},
        {"answered, then an error",
         [](FakeUdpSocket& s, FakeClock& c) {
             c.advance(1);
             s.receive("OK");
             s.raiseError(10061, "Connection refused");
         },
         std::nullopt, ""},
    };
    for (const auto& row : rows) {
        Station s;
        s.h.winsock3().sendFailure = row.sendFailure;
        s.h.receive(qso("Q1AAA"));
        s.h.winsock3().sendFailure.reset();
        if (row.after != nullptr) {
            row.after(s.h.winsock3(), s.h.clock);
        }
        s.h.clock.advance(10);
        const bool kept = *row.reason != '\0';
        EXPECT_EQ(s.outbox(), kept ? std::optional(record("Q1AAA") + "\n") : std::nullopt) << row.name;
        EXPECT_EQ(s.h.traced("   QSO kept in the outbox: " + std::string(row.reason) + " *" + record("Q1AAA") + "*"),
                  kept)
            << row.name << "\n"
            << s.h.trace();
        EXPECT_EQ(s.notices(),
                  kept ? std::vector<std::string>{"1 QSO waits in the outbox"} : std::vector<std::string>{})
            << row.name;
        EXPECT_EQ(s.h.program->outbox().waiting(), kept ? 1u : 0u) << row.name;
    }
}

// A QSO whose refusal may still come is kept when the program ends; one the file cannot take is said lost.
TEST(Outbox, a_qso_in_its_refusal_window_is_kept_when_the_program_ends)
{
    const struct {
        const char* name;
        std::size_t heldForName;
        bool readOnly;
    } rows[] = {{"sent", 0, false}, {"waiting for the service's name", 1, false}, {"file read-only", 0, true}};
    for (const auto& row : rows) {
        Station s;
        s.h.winsock3().heldForName = row.heldForName;
        s.h.receive(qso("Q1AAA"));
        s.h.files.readOnly = row.readOnly;
        s.h.winsock3().sendFailure = Failure(10065, "No route to host");
        s.h.receive(qso("Q2BBB"));
        s.h.clock.advance(2);
        s.h.winsock3().sendFailure.reset();
        s.h.receive(qso("Q3CCC"));
        s.h.program->closing();
        const std::string lost = "3 QSOs could not be written to Outbox.txt and are lost: Q2BBB, Q1AAA, Q3CCC";
        EXPECT_EQ(s.outbox(), row.readOnly ? std::nullopt
                                           : std::optional(record("Q2BBB") + "\n" + record("Q1AAA") + "\n" +
                                                           record("Q3CCC") + "\n"))
            << row.name;
        EXPECT_EQ(s.h.traced("Outbox: " + lost), row.readOnly) << row.name;
        EXPECT_EQ(!s.notices().empty() && s.notices().back() == lost, row.readOnly) << row.name;
    }
}

// Two QSOs kept by one program are sent by the next: at start-up, every 60 s, right after a good
// send; they leave the file only once delivered, and are not sent again.
TEST(Outbox, survives_a_restart_and_is_sent_oldest_first_until_delivered)
{
    Station first;
    first.h.winsock3().sendFailure = Failure(10065, "No route to host");
    first.h.receive(qso("Q1AAA"));
    first.h.receive(qso("Q1BBB"));
    ASSERT_EQ(first.outbox(), record("Q1AAA") + "\n" + record("Q1BBB") + "\n");
    EXPECT_EQ(first.notices(), (std::vector<std::string>{"1 QSO waits in the outbox", "2 QSOs wait in the outbox"}));

    Station s(&first.h.files);
    FakeUdpSocket& log = s.h.winsock3();
    const std::vector<std::string> both = {record("Q1AAA"), record("Q1BBB")};
    EXPECT_EQ(sentBytes(log), both) << "at start-up";
    EXPECT_EQ(s.notices(), std::vector<std::string>{"2 QSOs wait in the outbox"});
    s.h.clock.advance(3);
    log.raiseError(10061, "Connection refused");
    EXPECT_EQ(s.outbox(), first.outbox());

    s.h.clock.advance(56);
    EXPECT_EQ(log.sent.size(), 2u);
    s.h.clock.advance(1);
    EXPECT_EQ(sentBytes(log).size(), 4u) << "60 s after start-up";
    log.raiseError(10061, "Connection refused");

    log.sent.clear();
    s.h.clock.advance(10);
    s.h.receive(qso("Q1CCC"));
    EXPECT_EQ(sentBytes(log), (std::vector<std::string>{record("Q1CCC"), record("Q1AAA"), record("Q1BBB")}))
        << "right after a good send";
    s.h.clock.advanceMs(4999);
    EXPECT_EQ(s.outbox(), first.outbox()) << "not yet delivered";
    EXPECT_EQ(s.h.program->outbox().waiting(), 2u);
    s.h.clock.advanceMs(1);
    EXPECT_EQ(s.outbox(), "");
    EXPECT_TRUE(s.h.traced("   QSO delivered, out of the outbox. *" + record("Q1BBB") + "*"));
    EXPECT_EQ(s.notices().back(), "0 QSOs wait in the outbox: all were delivered");

    log.sent.clear();
    s.h.clock.advance(10 * 60);
    EXPECT_TRUE(log.sent.empty()) << "never sent again";
}

// Copies side by side (the README's "/C=radio2.ini") keep their QSOs apart.
TEST(Outbox, each_settings_file_has_its_own_outbox_and_leftovers_are_looked_for_beside_it)
{
    ProgramHarness before;
    uploadingOperator(before);
    before.files.files[std::string(kAppFolder) + "/RADIO2.INI"] = before.files.files[kConfigPath];
    Station s(&before.files, {"/C=radio2.ini"});
    s.h.winsock3().sendFailure = Failure(10065, "No route to host");
    s.h.receive(qso("Q1AAA"));
    EXPECT_EQ(s.h.files.files[std::string(kAppFolder) + "/RADIO2-Outbox.txt"], record("Q1AAA") + "\n");
    EXPECT_EQ(s.outbox(), std::nullopt) << "Outbox.txt stays the default settings' own";
    EXPECT_EQ(s.h.files.leftoversLookedFor, std::vector<std::string>{kAppFolder});
}

// One program's outbox on a file system that another program's outbox shares.
struct Copy {
    Copy(FakeFileSystem& files, FakeClock& clock)
        : trace(window, files, clock, regional), resend(clock.makeTimer()), refusal(clock.makeTimer()),
          outbox(window, files, trace, socket, *resend, *refusal, {})
    {
        window.logUpload.setChecked(true);
    }
    WindowModel window;
    FakeRegional regional;
    TraceWriter trace;
    FakeUdpSocket socket;
    std::unique_ptr<Timer> resend, refusal;
    Outbox outbox;
};

// The same settings twice: neither copy writes its own view over the other's records, a record
// waiting at start is sent by one of them only, and the other takes over when that one ends.
TEST(Outbox, two_programs_on_one_file_keep_each_others_records_and_send_each_once)
{
    ProgramHarness h;
    h.files.dirs.insert(kAppFolder);
    h.files.files[kOutboxPath] = record("Q1AAA") + "\n";
    Copy one(h.files, h.clock);
    Copy two(h.files, h.clock);
    one.outbox.startUp(kOutboxPath);
    two.outbox.startUp(kOutboxPath);
    EXPECT_EQ(sentBytes(one.socket), std::vector<std::string>{record("Q1AAA")});
    EXPECT_TRUE(two.socket.sent.empty());

    one.outbox.keep(record("Q2BBB"), "test");
    two.outbox.keep(record("Q3CCC"), "test");
    one.outbox.socketError(10061, "Connection refused");
    const std::string all = record("Q1AAA") + "\n" + record("Q2BBB") + "\n" + record("Q3CCC") + "\n";
    EXPECT_EQ(h.files.files[kOutboxPath], all);
    EXPECT_EQ(two.outbox.waiting(), 3u);

    one.outbox.ending();
    h.clock.advance(60);
    EXPECT_EQ(sentBytes(one.socket), std::vector<std::string>{record("Q1AAA")});
    EXPECT_EQ(sentBytes(two.socket), (std::vector<std::string>{record("Q1AAA"), record("Q2BBB"), record("Q3CCC")}));
    h.clock.advance(5);
    EXPECT_EQ(h.files.files[kOutboxPath], "");
}

// A program killed while a batch is in flight leaves its records in the file for the next one.
TEST(Outbox, records_sent_again_stay_in_the_file_until_delivered)
{
    ProgramHarness h;
    h.files.dirs.insert(kAppFolder);
    const std::string held = record("Q1AAA") + "\n" + record("Q2BBB") + "\n";
    h.files.files[kOutboxPath] = held;
    auto killed = std::make_unique<Copy>(h.files, h.clock);
    killed->outbox.startUp(kOutboxPath);
    EXPECT_EQ(killed->socket.sent.size(), 2u);
    EXPECT_EQ(killed->outbox.waiting(), 2u) << "counted once";
    killed.reset();

    EXPECT_EQ(h.files.files[kOutboxPath], held);
    Copy next(h.files, h.clock);
    next.outbox.startUp(kOutboxPath);
    EXPECT_EQ(next.socket.sent.size(), 2u) << "the role went with the killed program";
}

// A file that cannot let a delivered record go must not have it sent again every minute.
TEST(Outbox, a_delivered_record_the_file_still_holds_is_not_sent_again)
{
    ProgramHarness h;
    h.files.dirs.insert(kAppFolder);
    h.files.files[kOutboxPath] = record("Q1AAA") + "\n";
    h.files.readOnly = true;
    Copy one(h.files, h.clock);
    one.outbox.startUp(kOutboxPath);
    h.clock.advance(65);
    EXPECT_EQ(one.socket.sent.size(), 1u);
    EXPECT_EQ(one.outbox.waiting(), 0u);

    h.files.readOnly = false;
    one.outbox.keep(record("Q2BBB"), "test");
    EXPECT_EQ(h.files.files[kOutboxPath], record("Q2BBB") + "\n");
}

// A long outbox leaves in batches, one refusal window apart, not as one burst.
TEST(Outbox, is_sent_again_twenty_records_at_a_time)
{
    ProgramHarness before;
    uploadingOperator(before);
    for (int n = 0; n < 45; ++n) {
        before.files.files[kOutboxPath] += record("Q" + std::to_string(n)) + "\n";
    }
    Station s(&before.files);
    FakeUdpSocket& log = s.h.winsock3();
    EXPECT_EQ(log.sent.size(), 20u);
    s.h.clock.advanceMs(4999);
    EXPECT_EQ(log.sent.size(), 20u);
    s.h.clock.advanceMs(1);
    EXPECT_EQ(log.sent.size(), 40u);
    EXPECT_EQ(s.h.program->outbox().waiting(), 25u);
    s.h.clock.advance(5);
    EXPECT_EQ(log.sent.size(), 45u);
    EXPECT_EQ(log.sent.back().bytes, record("Q44"));
    s.h.clock.advance(5);
    EXPECT_EQ(s.outbox(), "");
    EXPECT_EQ(log.sent.size(), 45u);
}

TEST(Outbox, only_records_are_sent_and_other_lines_stay_as_they_were)
{
    const std::string tooLong = "QFLOG|" + std::string(995, 'x');
    ProgramHarness before;
    uploadingOperator(before);
    before.files.files[kOutboxPath] =
        record("Q1AAA") + "\n\nnot a record\n" + tooLong + "\n" + record("Q1BBB") + "\r\n" + record("Q1CCC");
    Station s(&before.files);
    EXPECT_EQ(sentBytes(s.h.winsock3()), (std::vector<std::string>{record("Q1AAA"), record("Q1BBB"), record("Q1CCC")}));
    EXPECT_TRUE(s.h.traced("Outbox: line 2 is empty, dropped")) << s.h.trace();
    EXPECT_TRUE(s.h.traced("Outbox: line 3 is no QSO record (no \"QFLOG|\" start), not sent; it stays in the file"));
    EXPECT_TRUE(s.h.traced("Outbox: line 4 is no QSO record (over 1000 bytes), not sent; it stays in the file"));
    s.h.clock.advance(5);
    EXPECT_EQ(s.outbox(), "not a record\n" + tooLong + "\n");
    EXPECT_EQ(s.notices(),
              (std::vector<std::string>{"3 QSOs wait in the outbox", "0 QSOs wait in the outbox: all were delivered"}));
}

TEST(Outbox, a_file_that_cannot_be_written_keeps_the_records_in_memory_until_it_can)
{
    Station s;
    s.h.files.readOnly = true;
    s.h.winsock3().sendFailure = Failure(10065, "No route to host");
    s.h.receive(qso("Q1AAA"));
    const std::string cannot =
        "cannot write " + kOutboxPath + "; the QSOs that wait are kept in memory until it can be written";
    EXPECT_EQ(s.notices(), (std::vector<std::string>{cannot, "1 QSO waits in the outbox (1 held only in memory)"}));
    EXPECT_TRUE(s.h.traced("Outbox: " + cannot));
    EXPECT_EQ(s.outbox(), std::nullopt);

    s.h.files.readOnly = false;
    s.h.clock.advance(60);
    EXPECT_EQ(s.outbox(), record("Q1AAA") + "\n");
    const std::vector<std::string> said = s.notices();
    const std::vector<std::string> last(said.end() - 2, said.end());
    EXPECT_EQ(last, (std::vector<std::string>{kOutboxPath + " is written again", "1 QSO waits in the outbox"}));
}

TEST(Outbox, its_timers_wait_out_the_watchdogs_restart_pause)
{
    Station s;
    FakeUdpSocket& log = s.h.winsock3();
    log.sendFailure = Failure(10065, "No route to host");
    s.h.clock.advance(2);
    s.h.receive(qso("Q1AAA")); // the last datagram: the watchdog restarts at 360 s
    const auto attempts = [&] { return std::count(log.log.begin(), log.log.end(), "send"); };
    s.h.clock.advance(359);
    const auto before = attempts();
    EXPECT_TRUE(s.h.window().inputHeld()) << "in the pause, which holds the outbox's tick due at 362 s";
    s.h.clock.advance(3);
    EXPECT_EQ(attempts(), before);
    s.h.clock.advance(2);
    EXPECT_FALSE(s.h.window().inputHeld());
    EXPECT_EQ(attempts(), before + 1);
}

} // namespace
} // namespace qf::test
