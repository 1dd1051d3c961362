// Arbitrary bytes through the functions that turn untrusted text into something shown or served:
// the escaping of journal and trace lines, the status page's JSON, its settings and its answers to
// requests. Each keeps a property no input may break.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "json_check.h"
#include "platform/local_addresses.h"
#include "status/json.h"
#include "status/status_page.h"
#include "trace/escaped.h"

namespace {

using namespace qf;

void require(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "fuzz_text: %s\n", what);
        std::abort();
    }
}

bool isControl(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

// A journal line holds no control byte, and every other byte stands as it was.
void checkEscaped(std::string_view text)
{
    const std::string out = escapeControlBytes(text);
    std::size_t controls = 0;
    for (const char c : text) {
        controls += isControl(static_cast<unsigned char>(c)) ? 1 : 0;
    }
    require(out.size() == text.size() + 3 * controls, "an escape is not four characters");
    for (const char c : out) {
        require(!isControl(static_cast<unsigned char>(c)), "a control byte left in a journal line");
    }
}

// Plain ASCII that reads back as the bytes, each the Latin-1 character the window shows, and never
// a character that could close a script or open markup.
void checkJsonString(std::string_view text)
{
    const std::string out = jsonString(text);
    for (const char c : out) {
        const auto b = static_cast<unsigned char>(c);
        require(b >= 0x20 && b < 0x7F && c != '<' && c != '>' && c != '&', "a JSON string holds more than plain ASCII");
    }
    const auto points = fuzz::JsonCheck(out).wholeString();
    require(points.has_value(), "a JSON string that does not parse");
    require(points->size() == text.size(), "a JSON string of another length");
    for (std::size_t i = 0; i < text.size(); ++i) {
        require((*points)[i] == static_cast<unsigned char>(text[i]), "a JSON string that reads back otherwise");
    }
}

std::string document(const std::vector<std::string>& pieces, double number)
{
    JsonWriter w;
    w.beginObject().key(pieces[0]).value(pieces[1]).key("number").value(number).key("list").beginArray();
    w.value(pieces[2]).beginObject().key(pieces[3]).null().endObject().value(true).endArray().endObject();
    return w.text();
}

void checkEndpoint(const std::string& port, const std::string& address)
{
    const StatusEndpoint where = statusEndpointFrom(port, address, isLoopbackAddress);
    require(where.port >= 0 && where.port <= 65535, "a status port out of range");
    if (where.port != 0) {
        require(where.problem.empty(), "a page both on and refused");
        require(where.address == "0.0.0.0" || isLoopbackAddress(where.address),
                "a page on an address not this machine's");
    }
}

void checkAnswer(const std::vector<std::string>& pieces, const std::string& json)
{
    StatusPage page([&json] { return json; }, pieces[3]);
    const HttpRequest request{pieces[0], pieces[1], pieces[2]};
    const HttpReply reply = page.answer(request);
    bool policy = false;
    for (const auto& [name, value] : reply.headers) {
        policy = policy || (name == "Content-Security-Policy" && value.starts_with("default-src 'none'"));
        require(name != "Set-Cookie" && !name.starts_with("Access-Control-"), "a cookie or a CORS header");
    }
    require(policy, "a reply without its Content-Security-Policy");
    const bool reads = request.method == "GET" || request.method == "HEAD";
    require(reads || reply.status == 405, "a request that is not GET or HEAD was answered");
    require(reply.status == 200 || reply.status == 403 || reply.status == 404 || reply.status == 405,
            "an answer of another status");
    if (reply.status == 200) {
        require(request.path == "/status.json" && reply.body == json, "something other than the snapshot served");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    checkEscaped(text);
    checkJsonString(text);

    // Four pieces at the NUL bytes: a key and a value, a request's method, path and host, a name.
    std::vector<std::string> pieces(4);
    std::size_t piece = 0;
    for (const char c : text) {
        if (c == '\0' && piece < 3) {
            ++piece;
        } else {
            pieces[piece] += c;
        }
    }
    double number = 0;
    if (size >= sizeof number) {
        std::memcpy(&number, data, sizeof number);
    }
    const std::string json = document(pieces, number);
    require(fuzz::JsonCheck(json).wholeValue(), "a status document that does not parse");
    checkEndpoint(pieces[0], pieces[1]);
    checkAnswer(pieces, json);
    return 0;
}
