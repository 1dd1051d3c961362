#include <gtest/gtest.h>

#include "intake/qso_logged_handler.h"
#include "support/program_harness.h"
#include "upload/outbox.h"

namespace qf::test {
namespace {

using wsjtx::DatagramBuilder;
using wsjtx::QsoLoggedFields;

const std::string kExampleRecord = "QFLOG|2.16|A|Q9ZZZ|20261207180530|Q1AAA|14075|FT8|IN80|";

// Every field filled in, so that a field read at the wrong place shows.
QsoLoggedFields fullQso()
{
    QsoLoggedFields f;
    f.comments = "tnx";
    f.name = "Ann";
    f.operatorCall = "Q9OP";
    f.myCall = "Q7XXX";
    f.exchangeSent = "599 001";
    f.exchangeReceived = "599 123";
    return f;
}

// The QSO Logged message with one named text field sent as the null string.
std::string withNull(const QsoLoggedFields& f, const std::string& nullField)
{
    DatagramBuilder b;
    const auto text = [&](const char* name, const std::string& value) {
        if (nullField == name) {
            b.nullString();
        } else {
            b.utf8(value);
        }
    };
    b.header(f.schema, wsjtx::QsoLogged, f.id).dateTime(f.dateOff, f.timeOff);
    text("DxCall", f.dxCall);
    text("DxLoc", f.dxGrid);
    b.u64(f.txFrequency);
    text("Modo", f.mode);
    text("RepSent", f.reportSent);
    text("RepRcvd", f.reportReceived);
    text("TxPwr", f.txPower);
    text("Comm", f.comments);
    text("Name", f.name);
    b.dateTime(f.dateOn, f.timeOn);
    text("OpCall", f.operatorCall);
    text("MyCall", f.myCall);
    text("MyLoc", f.myGrid);
    text("ExchSent", f.exchangeSent);
    text("ExchRcvd", f.exchangeReceived);
    return b;
}

std::string msg5(const QsoLoggedFields& f)
{
    return "  MSG_5: Sch=" + std::to_string(f.schema) + " / IdKey=" + f.id + " / DateOff=" + std::to_string(f.dateOff) +
           " / TimeOff=" + std::to_string(f.timeOff) + " / TimeSpecOff=1 / DxCall=" + f.dxCall +
           " / DxLoc=" + f.dxGrid + " / TxQRG=" + std::to_string(f.txFrequency) + " / Modo=" + f.mode +
           " / RepSent=" + f.reportSent + " / RepRcvd=" + f.reportReceived + " / TxPwr=" + f.txPower +
           " / Comm=" + f.comments + " / Name=" + f.name + " / DateOn=" + std::to_string(f.dateOn) +
           " / TimeOn=" + std::to_string(f.timeOn) + " / TimeSpecOn=1 / OpCall=" + f.operatorCall +
           " / MyCall=" + f.myCall + " / MyLoc=" + f.myGrid + " / ExchSent=" + f.exchangeSent +
           " / ExchRcvd=" + f.exchangeReceived;
}

class LoggedQso : public ::testing::Test {
  protected:
    void SetUp() override
    {
        h.readyOperator();
        h.program->startUp();
        h.startMonitoring();
        h.window().logUpload.setChecked(true);
        h.clearTrace();
        h.winsock3().log.clear();
    }
    std::vector<std::string> errorLines() const
    {
        std::vector<std::string> errors;
        for (const auto& line : h.traceLines()) {
            if (line.starts_with("Winsock1.DataArrival: ** Error")) {
                errors.push_back(line);
            }
        }
        return errors;
    }
    ProgramHarness h;
};

TEST_F(LoggedQso, with_the_box_unticked_a_logged_qso_is_ignored)
{
    h.window().logUpload.setChecked(false);
    h.clearTrace();
    h.winsock3().log.clear();
    h.clock.advance(3);
    h.receive(wsjtx::qsoLoggedMessage(fullQso()));
    for (const auto& line : h.traceLines()) {
        EXPECT_FALSE(line.starts_with("  MSG_5:")) << line;
        EXPECT_FALSE(line.starts_with("   QSO sent")) << line;
    }
    EXPECT_TRUE(h.winsock3().log.empty());
    EXPECT_EQ(h.program->state().lastFrameTime, h.clock.now());
}

TEST_F(LoggedQso, a_logged_qso_is_traced_in_full_and_uploaded_under_the_window_callsign)
{
    h.receive(wsjtx::qsoLoggedMessage(fullQso()));
    const auto lines = h.traceLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2],
              "  MSG_5: Sch=2 / IdKey=WSJT-X / DateOff=2461382 / TimeOff=65130000 / TimeSpecOff=1 / DxCall=Q1AAA / "
              "DxLoc=IN80 / TxQRG=14075523 / Modo=FT8 / RepSent=-12 / RepRcvd=-08 / TxPwr=100 / Comm=tnx / Name=Ann / "
              "DateOn=2461382 / TimeOn=65070000 / TimeSpecOn=1 / OpCall=Q9OP / MyCall=Q7XXX / MyLoc=FN42 / "
              "ExchSent=599 001 / ExchRcvd=599 123");
    EXPECT_EQ(lines.back(), "   QSO sent to Orbalis log. *" + kExampleRecord + "*");
    EXPECT_EQ(h.winsock3().sent, (std::vector<FakeUdpSocket::Sent>{{"spots.test", 7350, kExampleRecord}}));
    EXPECT_EQ(h.winsock3().log, (std::vector<std::string>{"close", "send"}));
    EXPECT_TRUE(errorLines().empty());
}

TEST_F(LoggedQso, record_fields_from_the_message)
{
    const struct {
        const char* name;
        void (*change)(QsoLoggedFields&);
        const char* record;
    } rows[] = {
        {"kHz rounded down", [](QsoLoggedFields& f) { f.txFrequency = 14075999; },
         "QFLOG|2.16|A|Q9ZZZ|20261207180530|Q1AAA|14075|FT8|IN80|"},
        {"below 1 kHz", [](QsoLoggedFields& f) { f.txFrequency = 999; },
         "QFLOG|2.16|A|Q9ZZZ|20261207180530|Q1AAA|0|FT8|IN80|"},
        {"microwave", [](QsoLoggedFields& f) { f.txFrequency = 10368100000ULL; },
         "QFLOG|2.16|A|Q9ZZZ|20261207180530|Q1AAA|10368100|FT8|IN80|"},
        {"midnight", [](QsoLoggedFields& f) { f.timeOff = 0; },
         "QFLOG|2.16|A|Q9ZZZ|20261207000000|Q1AAA|14075|FT8|IN80|"},
        {"last second", [](QsoLoggedFields& f) { f.timeOff = 86399999; },
         "QFLOG|2.16|A|Q9ZZZ|20261207235959|Q1AAA|14075|FT8|IN80|"},
        {"new year", [](QsoLoggedFields& f) { f.dateOff = wsjtx::julianDay(2000, 1, 1); },
         "QFLOG|2.16|A|Q9ZZZ|20000101180530|Q1AAA|14075|FT8|IN80|"},
        {"bytes above the C1 range", [](QsoLoggedFields& f) { f.dxCall = "Q1\xA0\xFF"; },
         "QFLOG|2.16|A|Q9ZZZ|20261207180530|Q1\xA0\xFF|14075|FT8|IN80|"},
        {"empty grid", [](QsoLoggedFields& f) { f.dxGrid = ""; },
         "QFLOG|2.16|A|Q9ZZZ|20261207180530|Q1AAA|14075|FT8||"},
        {"year before 1", [](QsoLoggedFields& f) { f.dateOff = 1719300; },
         "QFLOG|2.16|A|Q9ZZZ|-00050308180530|Q1AAA|14075|FT8|IN80|"},
        {"last day a record can hold", [](QsoLoggedFields& f) { f.dateOff = 13689325; },
         "QFLOG|2.16|A|Q9ZZZ|327671231180530|Q1AAA|14075|FT8|IN80|"},
    };
    for (const auto& row : rows) {
        QsoLoggedFields f = fullQso();
        row.change(f);
        h.receive(wsjtx::qsoLoggedMessage(f));
        ASSERT_FALSE(h.winsock3().sent.empty()) << row.name;
        EXPECT_EQ(h.winsock3().sent.back().bytes, row.record) << row.name;
    }
}

TEST_F(LoggedQso, null_text_fields_read_as_empty_and_leave_the_others_in_place)
{
    const struct {
        const char* field;
        std::string QsoLoggedFields::*member;
    } rows[] = {
        {"DxCall", &QsoLoggedFields::dxCall},
        {"DxLoc", &QsoLoggedFields::dxGrid},
        {"Modo", &QsoLoggedFields::mode},
        {"RepSent", &QsoLoggedFields::reportSent},
        {"RepRcvd", &QsoLoggedFields::reportReceived},
        {"TxPwr", &QsoLoggedFields::txPower},
        {"Comm", &QsoLoggedFields::comments},
        {"Name", &QsoLoggedFields::name},
        {"OpCall", &QsoLoggedFields::operatorCall},
        {"MyCall", &QsoLoggedFields::myCall},
        {"MyLoc", &QsoLoggedFields::myGrid},
        {"ExchSent", &QsoLoggedFields::exchangeSent},
        {"ExchRcvd", &QsoLoggedFields::exchangeReceived},
    };
    for (const auto& row : rows) {
        h.clearTrace();
        const QsoLoggedFields f = fullQso();
        h.receive(withNull(f, row.field));
        QsoLoggedFields shown = f;
        shown.*row.member = "";
        EXPECT_TRUE(h.traced(msg5(shown))) << row.field << "\n" << h.trace();
        EXPECT_TRUE(errorLines().empty()) << row.field;
        EXPECT_EQ(h.winsock3().sent.back().bytes, "QFLOG|2.16|A|Q9ZZZ|20261207180530|" + shown.dxCall + "|14075|" +
                                                      shown.mode + "|" + shown.dxGrid + "|")
            << row.field;
    }
}

TEST_F(LoggedQso, a_null_id_fails_its_read_but_the_fields_stay_in_place)
{
    QsoLoggedFields f = fullQso();
    std::string d = wsjtx::qsoLoggedMessage(f);
    d = DatagramBuilder().u32(wsjtx::kMagic).i32(2).i32(wsjtx::QsoLogged).nullString().raw(d.substr(22));
    h.receive(d);
    EXPECT_EQ(h.winsock3().sent.back().bytes, kExampleRecord);
}

TEST_F(LoggedQso, a_message_ending_after_my_locator_has_empty_exchanges)
{
    QsoLoggedFields f = fullQso();
    f.withExchange = false;
    h.receive(wsjtx::qsoLoggedMessage(f));
    f.exchangeSent = "";
    f.exchangeReceived = "";
    EXPECT_TRUE(h.traced(msg5(f)));
    EXPECT_TRUE(msg5(f).ends_with(" / MyLoc=FN42 / ExchSent= / ExchRcvd="));
    EXPECT_EQ(h.winsock3().sent.back().bytes, kExampleRecord);
}

TEST_F(LoggedQso, fields_after_the_exchanges_are_not_read)
{
    QsoLoggedFields f = fullQso();
    f.withPropMode = true;
    f.propMode = "EME";
    h.receive(wsjtx::qsoLoggedMessage(f));
    EXPECT_TRUE(h.traced(msg5(f)));
    EXPECT_EQ(h.winsock3().sent.back().bytes, kExampleRecord);
}

TEST_F(LoggedQso, a_failed_send_is_traced_instead_of_the_sent_line)
{
    h.winsock3().sendFailure = Failure(10065, "No route to host");
    h.receive(wsjtx::qsoLoggedMessage(fullQso()));
    const auto lines = h.traceLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Winsock1.DataArrival: ** Error Sending: 10065 - No route to host");
    EXPECT_EQ(lines.back(),
              "   QSO kept in the outbox: its send failed: 10065 - No route to host *" + kExampleRecord + "*");
    for (const auto& line : lines) {
        EXPECT_FALSE(line.starts_with("   QSO sent")) << line;
    }
    EXPECT_EQ(h.winsock3().log, (std::vector<std::string>{"close", "send"}));
}

TEST_F(LoggedQso, a_qso_whose_fields_would_make_a_malformed_record_is_not_uploaded)
{
    const std::string why = "   QSO not sent to Orbalis log: ";
    const std::string separator = " holds \"|\" or a control character";
    const struct {
        const char* name;
        void (*change)(QsoLoggedFields&);
        std::vector<std::string> lines;
    } rows[] = {
        {"year past 32767",
         [](QsoLoggedFields& f) { f.dateOff = 13689326; },
         {"Winsock1.DataArrival: ** Error Sending: 6 - Overflow",
          why + "DateOff 13689326 gives no year the record can hold"}},
        {"largest day number",
         [](QsoLoggedFields& f) { f.dateOff = 0xFFFFFFFFFFFFFFFFULL; },
         {"Winsock1.DataArrival: ** Error Sending: 6 - Overflow",
          why + "DateOff 18446744073709551616 gives no year the record can hold"}},
        {"end time at the end of the day",
         [](QsoLoggedFields& f) { f.timeOff = 86400000; },
         {why + "TimeOff 86400000 gives no time of day the record can hold"}},
        {"start time past the day",
         [](QsoLoggedFields& f) { f.timeOn = 4294967295U; },
         {why + "TimeOn 4294967295 gives no time of day the record can hold"}},
        {"separator in the call", [](QsoLoggedFields& f) { f.dxCall = "Q1|AAA"; }, {why + "DxCall" + separator}},
        {"DEL in the call", [](QsoLoggedFields& f) { f.dxCall = "Q1\x7F"; }, {why + "DxCall" + separator}},
        {"C1 bytes in the mode",
         [](QsoLoggedFields& f) {
             f.mode = "\x80"
                      "FT8\x9F";
         },
         {why + "Modo" + separator}},
        {"line break in the mode", [](QsoLoggedFields& f) { f.mode = "FT8\n"; }, {why + "Modo" + separator}},
        {"separator in the grid", [](QsoLoggedFields& f) { f.dxGrid = "IN80|x"; }, {why + "DxLoc" + separator}},
        {"control byte in the grid",
         [](QsoLoggedFields& f) {
             f.dxGrid = std::string("IN\0"
                                    "80",
                                    5);
         },
         {why + "DxLoc" + separator}},
        {"call of 14",
         [](QsoLoggedFields& f) { f.dxCall = "VP2E/DL1ABC/PP"; },
         {why + "DxCall is longer than 13 characters"}},
        {"mode of 17",
         [](QsoLoggedFields& f) { f.mode = std::string(17, 'M'); },
         {why + "Modo is longer than 16 characters"}},
        {"grid of 8", [](QsoLoggedFields& f) { f.dxGrid = "IN80AB12"; }, {why + "DxLoc is longer than 6 characters"}},
    };
    for (const auto& row : rows) {
        QsoLoggedFields f = fullQso();
        row.change(f);
        h.clearTrace();
        h.receive(wsjtx::qsoLoggedMessage(f));
        auto lines = h.traceLines();
        ASSERT_GT(lines.size(), row.lines.size()) << row.name;
        EXPECT_TRUE(lines[lines.size() - row.lines.size() - 1].starts_with("  MSG_5: ")) << row.name;
        lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(row.lines.size()));
        EXPECT_EQ(lines, row.lines) << row.name;
    }
    EXPECT_TRUE(h.winsock3().log.empty());
}

TEST_F(LoggedQso, ticking_the_box_prepares_the_log_socket_and_clearing_closes_it)
{
    h.window().logUpload.setChecked(false);
    EXPECT_EQ(h.winsock3().log, std::vector<std::string>{"close"});
    EXPECT_EQ(h.winsock3().state(), 0);
    h.winsock3().log.clear();
    h.window().logUpload.setChecked(true);
    EXPECT_EQ(h.winsock3().log, (std::vector<std::string>{"close", "host spots.test", "port 7350", "bind 0"}));
    EXPECT_EQ(h.winsock3().state(), 1);
}

TEST(QsoLoggedStartUp, loading_the_option_does_not_act_on_the_socket_start_up_does)
{
    for (const bool ticked : {true, false}) {
        ProgramHarness h;
        h.settingsFile(std::string("MyStationId=Q9ZZZ\r\nMyLocator=FN42HN\r\nLogUpload=") + (ticked ? "1" : "0") +
                       "\r\n");
        h.program->startUp();
        EXPECT_EQ(h.window().logUpload.checked(), ticked);
        std::vector<std::string> expected = {"host spots.test", "port 7350", "close"};
        if (ticked) {
            expected.insert(expected.end(), {"host spots.test", "port 7350"});
        }
        expected.push_back("bind 0");
        EXPECT_EQ(h.winsock3().log, expected) << ticked;
    }
}

TEST_F(LoggedQso, an_answer_from_the_service_is_traced)
{
    h.winsock3().receive("OK");
    const std::vector<std::string> expected = {
        "***Entra en Winsock3_DataArrival: bytesTotal= 2, Winsock3.State= 1",
        "   Texto recibido = *OK*",
        "***Sale en Winsock3_DataArrival",
    };
    EXPECT_EQ(h.traceLines(), expected);
    EXPECT_EQ(h.window().dx.text(), "");
    EXPECT_EQ(h.window().log.text(), "");
}

// Any host that finds the log socket's port could otherwise mark a waiting QSO as delivered.
TEST_F(LoggedQso, only_the_services_address_and_port_answer)
{
    h.winsock3().sendFailure = Failure(10051, "Network is unreachable");
    h.receive(wsjtx::qsoLoggedMessage(fullQso()));
    h.winsock3().sendFailure.reset();
    h.receive(wsjtx::qsoLoggedMessage(fullQso())); // the outbox's QSO goes again with it
    ASSERT_EQ(h.program->outbox().waiting(), 1u);
    h.clearTrace();
    for (const UdpSocket::Peer& stranger : {UdpSocket::Peer{"192.0.2.9", 7350}, UdpSocket::Peer{"spots.test", 7351}}) {
        h.winsock3().receiveFrom(stranger, "OK");
    }
    const std::vector<std::string> expected = {
        "***Entra en Winsock3_DataArrival: bytesTotal= 2, Winsock3.State= 1",
        "   Not the spot service's answer: it came from 192.0.2.9:7350, dropped",
        "***Sale en Winsock3_DataArrival",
        "***Entra en Winsock3_DataArrival: bytesTotal= 2, Winsock3.State= 1",
        "   Not the spot service's answer: it came from spots.test:7351, dropped",
        "***Sale en Winsock3_DataArrival",
    };
    EXPECT_EQ(h.traceLines(), expected);
    EXPECT_EQ(h.program->outbox().waiting(), 1u);
    h.winsock3().receive("OK");
    EXPECT_EQ(h.program->outbox().waiting(), 0u);
}

TEST_F(LoggedQso, a_failure_taking_the_answer_is_traced_with_its_code)
{
    h.winsock3().receiveFailure = Failure(10040, "Message too long");
    h.winsock3().receive("OK");
    h.winsock3().receiveFailure = Failure(-1, "odd");
    h.winsock3().forceOpen(false);
    h.winsock3().onDataArrival(-3);
    const std::vector<std::string> expected = {
        "***Entra en Winsock3_DataArrival: bytesTotal= 2, Winsock3.State= 1",
        "*** >>> ERROR 10040 en Winsock3_DataArrival (Message too long)",
        "   Texto recibido = **",
        "***Sale en Winsock3_DataArrival",
        "***Entra en Winsock3_DataArrival: bytesTotal=-3, Winsock3.State= 0",
        "*** >>> ERROR-1 en Winsock3_DataArrival (odd)",
        "   Texto recibido = **",
        "***Sale en Winsock3_DataArrival",
    };
    EXPECT_EQ(h.traceLines(), expected);
}

TEST_F(LoggedQso, a_log_socket_error_is_traced_and_the_socket_left_alone)
{
    h.winsock3().raiseError(10054, "Connection reset by peer");
    h.winsock3().raiseError(-2, "odd");
    EXPECT_EQ(h.traceLines(),
              (std::vector<std::string>{"Winsock3 error 10054 - Connection reset by peer", "Winsock3 error-2 - odd"}));
    EXPECT_TRUE(h.winsock3().log.empty());
    EXPECT_EQ(h.winsock3().state(), 1);
}

// Every text read from a cut message is the start of the same field of the whole message, and
// every number the value of the leading bytes of its own field.
void expectNothingMisplaced(const qf::QsoLogged& whole, const qf::QsoLogged& cut, std::size_t k)
{
    for (auto member : {&qf::QsoLogged::idKey, &qf::QsoLogged::dxCall, &qf::QsoLogged::dxLoc, &qf::QsoLogged::modo,
                        &qf::QsoLogged::repSent, &qf::QsoLogged::repRcvd, &qf::QsoLogged::txPwr, &qf::QsoLogged::comm,
                        &qf::QsoLogged::name, &qf::QsoLogged::opCall, &qf::QsoLogged::myCall, &qf::QsoLogged::myLoc,
                        &qf::QsoLogged::exchSent, &qf::QsoLogged::exchRcvd}) {
        EXPECT_TRUE((whole.*member).starts_with(cut.*member)) << k << ": " << cut.*member;
    }
    for (auto member :
         {&qf::QsoLogged::dateOff, &qf::QsoLogged::timeOff, &qf::QsoLogged::timeSpecOff, &qf::QsoLogged::txQrg,
          &qf::QsoLogged::dateOn, &qf::QsoLogged::timeOn, &qf::QsoLogged::timeSpecOn}) {
        EXPECT_LE(cut.*member, whole.*member) << k;
    }
}

TEST_F(LoggedQso, messages_cut_at_every_byte_never_crash_or_misplace_fields)
{
    const auto ignoreFailures = [](const std::function<void()>& step) {
        try {
            step();
        } catch (const Failure&) {
        }
    };
    const std::string messages[] = {
        wsjtx::qsoLoggedMessage(fullQso()),
        withNull(fullQso(), "DxLoc"),
        withNull(fullQso(), "TxPwr"),
        withNull(fullQso(), "ExchSent"),
    };
    for (const auto& full : messages) {
        const qf::QsoLogged whole = readQsoLogged(full, ignoreFailures);
        ASSERT_EQ(whole.dxCall, "Q1AAA");
        ASSERT_EQ(whole.exchRcvd, "599 123");
        for (std::size_t k = 0; k <= full.size(); ++k) {
            const std::string cut = full.substr(0, k);
            expectNothingMisplaced(whole, readQsoLogged(cut, ignoreFailures), k);
            h.receive(cut);
        }
    }
    for (const auto& sent : h.winsock3().sent) {
        EXPECT_TRUE(sent.bytes.starts_with("QFLOG|2.16|A|Q9ZZZ|")) << sent.bytes;
        EXPECT_EQ(std::count(sent.bytes.begin(), sent.bytes.end(), '|'), 9) << sent.bytes;
        EXPECT_NE(sent.bytes.find("|Q1AAA|"), std::string::npos) << "only whole QSOs reach the online log";
    }
}

TEST_F(LoggedQso, a_message_that_ends_before_my_locator_is_not_uploaded)
{
    wsjtx::QsoLoggedFields f;
    f.withExchange = false;
    const std::string upToMyLoc = wsjtx::qsoLoggedMessage(f);
    h.receive(upToMyLoc.substr(0, upToMyLoc.size() - 1));
    EXPECT_TRUE(h.winsock3().sent.empty());
    EXPECT_TRUE(h.traced("   QSO not sent to Orbalis log: the message ends before MyLoc"));
    h.receive(upToMyLoc);
    EXPECT_EQ(h.winsock3().sent.size(), 1u);
}

} // namespace
} // namespace qf::test
