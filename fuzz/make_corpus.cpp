// Writes the seed corpus for the fuzz targets: realistic WSJT-X traffic of every message type,
// schema 2 and 3, the decode kinds, malformed datagrams, and settings files with command lines.
// Usage: make_corpus <folder>; the seeds go to <folder>/arrivals, <folder>/startup and <folder>/text.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "wsjtx/datagram_builder.h"

namespace {

namespace fs = std::filesystem;
using namespace qf;
using namespace qf::wsjtx;
using fuzz::Arrival;
using fuzz::Session;

constexpr std::uint8_t kPause16s = 3;
constexpr std::uint8_t kPauseDrain = 4;
constexpr std::uint8_t kPauseWatchdog = 5;
constexpr std::uint8_t kPauseRepeat = 6;

void write(const fs::path& folder, const std::string& name, const std::string& bytes)
{
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string status(int schema, std::uint64_t hz = 14074000, const std::string& mode = "FT8")
{
    StatusFields s;
    s.schema = schema;
    s.dialHz = hz;
    s.mode = mode;
    return statusMessage(s);
}

std::string decode(const std::string& text, int schema = 2, const std::string& mode = "~", bool isNew = true)
{
    DecodeFields d;
    d.schema = schema;
    d.message = text;
    d.mode = mode;
    d.isNew = isNew;
    return decodeMessage(d);
}

// A Status with its 15-second hold waited out, then the datagrams, then the spot timer drained.
Session tuned(std::vector<std::string> datagrams, int schema = 2, std::uint8_t options = 0)
{
    Session s;
    s.options = options;
    s.arrivals.push_back({kPause16s, status(schema)});
    for (auto& d : datagrams) {
        s.arrivals.push_back({0, std::move(d)});
    }
    s.arrivals.back().step = kPauseDrain;
    return s;
}

Session single(std::string datagram)
{
    Session s;
    s.arrivals.push_back({0, std::move(datagram)});
    return s;
}

void arrivals(const fs::path& folder)
{
    for (int schema : {2, 3}) {
        const std::string v = "-schema" + std::to_string(schema);
        write(folder, "heartbeat" + v, fuzz::encode(single(heartbeatMessage("WSJT-X", schema))));
        write(folder, "status" + v, fuzz::encode(single(status(schema))));
        QsoLoggedFields q;
        q.schema = schema;
        write(folder, "qso-logged" + v, fuzz::encode(single(qsoLoggedMessage(q))));
        q.withPropMode = true;
        q.propMode = "TR";
        write(folder, "qso-logged-prop-mode" + v, fuzz::encode(single(qsoLoggedMessage(q))));
        write(folder, "decodes" + v,
              fuzz::encode(tuned({decode("CQ Q1AAA FN42", schema), decode("CQ DX Q1BBB IN80", schema),
                                  decode("QRZ Q1CCC EM12", schema), decode("Q9ZZZ Q1DDD EN37", schema)},
                                 schema)));
    }

    const std::vector<std::pair<std::string, std::string>> kinds = {
        {"cq", "CQ Q1AAA FN42"},
        {"cq-without-locator", "CQ Q1AAA"},
        {"cq-numbered", "CQ 123 Q1AAA FN42"},
        {"cq-dx", "CQ DX Q1BBB IN80"},
        {"cq-continent", "CQ EU Q1BBB JO22 extra"},
        {"cq-test", "CQ TEST Q1CCC EM12"},
        {"qrz", "QRZ Q1DDD KN44"},
        {"heard-with-locator", "Q9ZZZ Q1EEE EN37"},
        {"heard-rr73", "Q9ZZZ Q1EEE RR73"},
        {"heard-report", "Q1FFF Q1EEE -12"},
        {"invalid-locator", "CQ Q1GGG ZZ99"},
        {"too-short", "CQ A1"},
        {"blanks", "  CQ   Q1HHH    FN42  "},
    };
    for (const auto& [name, text] : kinds) {
        write(folder, "decode-" + name, fuzz::encode(tuned({decode(text)})));
    }
    write(folder, "decode-jt9-and-jt65",
          fuzz::encode(tuned({decode("CQ Q1AAA FN42", 2, "@"), decode("CQ Q1BBB FN43", 2, "#")})));
    write(folder, "decode-schema1", fuzz::encode(tuned({decode("CQ Q1AAA FN42", 1, "FT8")}, 1)));
    write(folder, "decode-not-new", fuzz::encode(tuned({decode("CQ Q1AAA FN42", 2, "~", false)})));
    write(folder, "decode-before-status", fuzz::encode(single(decode("CQ Q1AAA FN42"))));
    write(folder, "decode-in-the-hold", fuzz::encode(Session{0, {{0, status(2)}, {0, decode("CQ Q1AAA FN42")}}}));
    write(folder, "decode-only-cq",
          fuzz::encode(tuned({decode("Q9ZZZ Q1EEE EN37"), decode("CQ Q1AAA FN42")}, 2, fuzz::option::kOnlyCq)));
    write(folder, "status-wspr", fuzz::encode(single(status(2, 14095600, "WSPR"))));
    write(folder, "status-zero-dial", fuzz::encode(single(status(2, 0, ""))));
    write(folder, "status-huge-dial", fuzz::encode(single(status(2, 0xFFFFFFFFFFFFFFFFull))));

    // A station spotted, remembered, then heard again within and after 15 minutes.
    Session repeat = tuned({decode("CQ Q1AAA FN42")});
    repeat.arrivals.push_back({kPauseRepeat, decode("Q9ZZZ Q1AAA RR73")});
    repeat.arrivals.push_back({kPauseDrain, decode("CQ Q1AAA FN42")});
    write(folder, "station-repeat", fuzz::encode(repeat));

    Session quiet = tuned({decode("CQ Q1AAA FN42")});
    quiet.arrivals.back().step = kPauseWatchdog;
    quiet.arrivals.push_back({0, heartbeatMessage()});
    write(folder, "watchdog-restart", fuzz::encode(quiet));

    Session faults = tuned({decode("CQ Q1AAA FN42"), qsoLoggedMessage({})});
    faults.arrivals[1].step |= fuzz::step::kSendsFail | fuzz::step::kRelayAnswers;
    faults.arrivals[2].step |= fuzz::step::kSocketErrors | fuzz::step::kLogAnswers | fuzz::step::kRestart;
    write(folder, "socket-faults", fuzz::encode(faults));
    // Two radio programs, a logger behind the relay answering one of them, a further target.
    DecodeFields other;
    other.id = "JTDX";
    other.message = "CQ Q1BBB EN37";
    StatusFields otherStatus;
    otherStatus.id = "JTDX";
    otherStatus.dialHz = 7074000;
    Session radios = tuned({statusMessage(otherStatus), decode("CQ Q1AAA FN42"), decodeMessage(other),
                            DatagramBuilder().header(2, Reply, "JTDX").u32(36000000).i32(-12).utf8("CQ Q1BBB EN37")},
                           2, fuzz::option::kPassReplies | fuzz::option::kMoreRelays);
    radios.arrivals[1].step = kPause16s;
    radios.arrivals[4].step |= fuzz::step::kRelayAnswers;
    write(folder, "two-radios-and-a-reply", fuzz::encode(radios));
    write(folder, "no-window-outbox",
          fuzz::encode(tuned({qsoLoggedMessage({})}, 2, fuzz::option::kNoWindow | fuzz::option::kMoreRelays)));
    write(folder, "no-relay-multicast-no-upload",
          fuzz::encode(tuned({decode("CQ Q1AAA FN42"), qsoLoggedMessage({})}, 2,
                             fuzz::option::kNoRelay | fuzz::option::kMulticast | fuzz::option::kNoLogUpload)));

    QsoLoggedFields bare;
    bare.withExchange = false;
    bare.dateOff = 0;
    bare.timeOff = 0xFFFFFFFF;
    write(folder, "qso-logged-no-exchange-no-date", fuzz::encode(single(qsoLoggedMessage(bare))));
    write(folder, "qso-logged-null-strings",
          fuzz::encode(single(DatagramBuilder()
                                  .header(2, QsoLogged, "WSJT-X")
                                  .dateTime(2461382, 65130000)
                                  .nullString()
                                  .nullString()
                                  .u64(14075523)
                                  .nullString()
                                  .nullString()
                                  .nullString()
                                  .utf8("")
                                  .utf8("")
                                  .utf8("")
                                  .dateTime(2461382, 65070000)
                                  .nullString()
                                  .nullString()
                                  .nullString())));

    for (int type : {int{Clear}, int{Reply}, int{Close}, 7, 99, -1}) {
        write(folder, "type-" + std::to_string(type),
              fuzz::encode(single(DatagramBuilder().header(2, type, "WSJT-X").u32(0).utf8("x"))));
    }

    // Malformed: empty, short, wrong magic or schema, lengths that lie, every cut of the three
    // handled messages.
    write(folder, "empty", fuzz::encode(single("")));
    write(folder, "three-bytes", fuzz::encode(single("\xAD\xBC\xCB")));
    write(folder, "not-wsjtx", fuzz::encode(single("not a WSJT-X datagram")));
    for (int schema : {0, 1, 4, -1}) {
        write(folder, "schema" + std::to_string(schema),
              fuzz::encode(single(DatagramBuilder().header(schema, 0, "WSJT-X"))));
    }
    write(folder, "id-null-string",
          fuzz::encode(single(DatagramBuilder().u32(kMagic).i32(2).i32(Decode).nullString())));
    write(folder, "id-length-huge",
          fuzz::encode(tuned({DatagramBuilder().u32(kMagic).i32(2).i32(Decode).i32(0x7FFFFFFF).raw("WSJT-X")})));
    write(folder, "id-length-negative",
          fuzz::encode(tuned({DatagramBuilder().u32(kMagic).i32(2).i32(Status).i32(-7).raw("WSJT-X")})));
    DecodeFields longText;
    longText.message = "CQ Q1AAA FN42";
    std::string lying = decodeMessage(longText);
    lying[lying.size() - 2 - 13 - 1] = '\x7F';
    write(folder, "decode-text-length-past-end", fuzz::encode(tuned({lying})));
    const std::string whole[] = {status(2), decode("CQ Q1AAA FN42"), qsoLoggedMessage({})};
    const char* names[] = {"status", "decode", "qso-logged"};
    for (int m = 0; m < 3; ++m) {
        Session cuts;
        cuts.arrivals.push_back({kPause16s, status(2)});
        for (std::size_t n = 12; n < whole[m].size(); n += 3) {
            cuts.arrivals.push_back({0, whole[m].substr(0, n)});
        }
        write(folder, std::string("cuts-") + names[m], fuzz::encode(cuts));
    }

    std::string largest(65507, '\0');
    for (std::size_t i = 0; i < largest.size(); ++i) {
        largest[i] = static_cast<char>((i * 31) & 0xFF);
    }
    largest.replace(0, 4, "\xAD\xBC\xCB\xDA");
    write(folder, "largest-datagram", fuzz::encode(single(largest)));
}

void startUps(const fs::path& folder)
{
    const std::string ready =
        "[OPTIONS]\r\nUdpPort=2237\r\nMonitorOnStarup=1\r\nTrace=1\r\nMyStationId=Q9ZZZ\r\n"
        "MyLocator=FN42HN\r\nMulticastGroup=\r\nServIP=127.0.0.1\r\nServPort=52237\r\nTop=1500\r\n"
        "Left=3000\r\nLogUpload=1\r\nOnlyCQ=0\r\n";
    const std::vector<std::pair<std::string, fuzz::StartUp>> seeds = {
        {"defaults",
         {"[OPTIONS]\r\nUdpPort=2237\r\nMonitorOnStarup=0\r\nTrace=0\r\nMyStationId=\r\nMyLocator=\r\n"
          "MulticastGroup=\r\nServIP=127.0.0.1\r\nServPort=52237\r\nTop=0\r\nLeft=0\r\nLogUpload=0\r\n"
          "OnlyCQ=0\r\n",
          {}}},
        {"ready", {ready, {}}},
        {"ready-named-file", {ready, {"/C=radio2.ini"}}},
        {"ready-lower-case-option", {ready, {"/c=Radio2.ini"}}},
        {"ready-full-path-with-blanks", {ready, {"/C=/home/op/my radio.ini"}}},
        {"ready-quoted", {ready, {"/C=\"my radio.ini\""}}},
        {"ready-split-path", {ready, {"/C=/home/op/my", "radio.ini", "-x"}}},
        {"empty-option", {ready, {"/C="}}},
        {"other-arguments", {ready, {"--verbose", "", "/C=b.ini", "/C=c.ini"}}},
        {"empty", {"", {}}},
        {"no-section", {"UdpPort=2237\r\nMyStationId=Q9ZZZ\r\n", {}}},
        {"lower-case-and-blanks",
         {"[options]\r\n  udpport =  2237 \r\nmonitoronstarup=1\r\nmystationid=\tQ9ZZZ\r\nmylocator=FN42HN\r\n", {}}},
        {"utf8-mark-and-lf",
         {"\xEF\xBB\xBF[OPTIONS]\nUdpPort=2237\nMonitorOnStarup=1\nMyStationId=Q9ZZZ\nMyLocator=FN42HN\n", {}}},
        {"duplicates-and-sections",
         {"[OTHER]\r\nUdpPort=1\r\n[OPTIONS]\r\nUdpPort=2237\r\nUdpPort=3\r\n; comment\r\n[OPTIONS]\r\nTop=7\r\n", {}}},
        {"odd-numbers",
         {"[OPTIONS]\r\nUdpPort=99999\r\nMonitorOnStarup=1\r\nMyStationId=Q9ZZZ\r\nMyLocator=FN42HN\r\nServPort=-1\r\n"
          "Top=1e400\r\nLeft=-2147483649\r\nServIP=\r\n",
          {}}},
        {"number-forms",
         {"[OPTIONS]\r\nUdpPort= 22 "
          "37x\r\nMonitorOnStarup=1\r\nMyStationId=Q9ZZZ\r\nMyLocator=FN42HN\r\nServPort=&H1F\r\n"
          "Top=2.5\r\nLeft=.5e3\r\nMulticastGroup=239.255.0.1\r\n",
          {}}},
        {"long-value", {"[OPTIONS]\r\nMyStationId=" + std::string(2000, 'Q') + "\r\nMyLocator=FN42HNXX\r\n", {}}},
        {"unclosed-section-and-garbage", {std::string("[OPTIONS\r\n=x\r\n]\r\n\0\xff=1\r\nTrace=1abc\r", 34), {}}},
    };
    for (const auto& [name, seed] : seeds) {
        write(folder, name, fuzz::encode(seed));
    }
}

} // namespace

// Untrusted text as it reaches the journal, the JSON and the status page's server; the fuzz target
// splits an input at NUL bytes into a method, a path, a host and a machine name.
std::string pieces(const std::vector<std::string>& parts)
{
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        out += (i > 0 ? std::string(1, '\0') : std::string()) + parts[i];
    }
    return out;
}

void texts(const fs::path& folder)
{
    write(folder, "markup-id", "<img src=x onerror=alert(1)>");
    write(folder, "forged-trace-line", "A\r\nWinsockServ: Reply passed to X\x1B[2J\x7F");
    write(folder, "latin1-and-utf8", "J\xC3\xB6rg \xFF\xFE\"\\/</script>&");
    write(folder, "get-status", pieces({"GET", "/status.json", "127.0.0.1:8737", "pi"}));
    write(folder, "head-page", pieces({"HEAD", "/", "pi.local.", "pi"}));
    write(folder, "post-elsewhere", pieces({"POST", "/status.json", "evil.example:8737", "pi"}));
    write(folder, "endpoint-default", pieces({"", "", "localhost", "pi"}));
    write(folder, "endpoint-every-address", pieces({"8737", "0.0.0.0", "[::1]:8737", ""}));
    write(folder, "endpoint-not-a-port", pieces({"70000", "127.000.0.1", "", ""}));
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus <folder>\n");
        return 2;
    }
    const fs::path root = argv[1];
    fs::create_directories(root / "arrivals");
    fs::create_directories(root / "startup");
    fs::create_directories(root / "text");
    arrivals(root / "arrivals");
    startUps(root / "startup");
    texts(root / "text");
    return 0;
}
