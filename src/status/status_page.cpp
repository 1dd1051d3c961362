#include "status/status_page.h"

#include <array>
#include <cctype>

#include "health/health.h"
#include "platform/failure.h"
#include "settings/dotted_address.h"

namespace qf {
namespace {

constexpr const char* kSecurityPolicy = "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
                                        "img-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

struct PageFile {
    std::string_view path;
    std::string_view file; // empty: the snapshot
    std::string_view type;
};

constexpr std::array<PageFile, 4> kFiles{{
    {"/", "index.html", "text/html; charset=utf-8"},
    {"/status.css", "status.css", "text/css; charset=utf-8"},
    {"/status.js", "status.js", "text/javascript; charset=utf-8"},
    {"/status.json", "", "application/json"},
}};

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// At most this much of a value that cannot be used is repeated in a message.
std::string shown(std::string_view value)
{
    return value.size() > 40 ? std::string(value.substr(0, 40)) + "..." : std::string(value);
}

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

HttpReply textReply(int status, std::string text)
{
    HttpReply reply;
    reply.status = status;
    reply.contentType = "text/plain; charset=utf-8";
    reply.body = std::move(text);
    return reply;
}

} // namespace

StatusEndpoint statusEndpointFrom(std::string_view portText, std::string_view addressText,
                                  const std::function<bool(const std::string&)>& isOwnAddress)
{
    StatusEndpoint where;
    const std::string_view port = trimmed(portText);
    if (port.empty()) {
        where.port = kDefaultStatusPort;
    } else if (port.size() <= 5 && port.find_first_not_of("0123456789") == std::string_view::npos &&
               std::stoi(std::string(port)) <= 65535) {
        where.port = std::stoi(std::string(port));
    } else {
        where.problem = std::string(kStatusPortKey) + " \"" + shown(port) +
                        "\" is not a port number from 1 to 65535 (0 turns the page off)";
        return where;
    }
    const std::string_view address = trimmed(addressText);
    where.address = address.empty() ? kDefaultStatusAddress : std::string(address);
    if (where.address != "0.0.0.0" &&
        (!dottedAddressFrom(where.address) || !isOwnAddress || !isOwnAddress(where.address))) {
        where.problem = std::string(kStatusAddressKey) + " \"" + shown(where.address) +
                        "\" is not an address of this machine (127.0.0.1 for this machine only, 0.0.0.0 for "
                        "every address)";
        where.port = 0;
    }
    return where;
}

bool hostAllowed(std::string_view host, std::string_view machineName)
{
    if (host.empty() || host.front() == '[') {
        return true; // no name at all, or an IPv6 address
    }
    std::string name = lower(host.substr(0, host.rfind(':')));
    if (!name.empty() && name.back() == '.') {
        name.pop_back();
    }
    const std::string machine = lower(machineName);
    return dottedAddressFrom(name) || name == "localhost" ||
           (!machine.empty() && (name == machine || name == machine + ".local"));
}

StatusPage::StatusPage(std::function<std::string()> json, std::string machineName)
    : json_(std::move(json)), machineName_(std::move(machineName))
{
}

void StatusPage::start(std::unique_ptr<StatusServer> server, const StatusEndpoint& where)
{
    line_.clear();
    if (!where.problem.empty()) {
        line_ = "status page off: " + where.problem;
        return;
    }
    if (where.port == 0 || !server) {
        return;
    }
    server->onRequest = [this](const HttpRequest& request) { return answer(request); };
    try {
        server->listen(where.address, where.port);
    } catch (const Failure& f) {
        line_ = "status page off: port " + std::to_string(where.port) + " on " + where.address + ": " +
                plainWords(f.code, f.description) + "; set " + kStatusPortKey + " to a free port, or 0";
        return;
    }
    const std::string port = std::to_string(server->localPort());
    line_ = "status page: http://" + (where.address == "0.0.0.0" ? std::string(kDefaultStatusAddress) : where.address) +
            ":" + port + "/";
    if (where.address == "0.0.0.0") {
        line_ += " (and port " + port + " of every address of this machine)";
    }
    server_ = std::move(server);
}

HttpReply StatusPage::answer(const HttpRequest& request) const
{
    HttpReply reply;
    if (request.method != "GET" && request.method != "HEAD") {
        reply = textReply(405, "Quillfeed's status page only shows: GET and HEAD are all it answers.\n");
        reply.headers.emplace_back("Allow", "GET, HEAD");
    } else if (!hostAllowed(request.host, machineName_)) {
        reply = textReply(403, "Quillfeed's status page answers to this machine's address, localhost or "
                               "the machine's own name, not to another name.\n");
    } else {
        reply = textReply(404, "Not found.\n");
        for (const PageFile& file : kFiles) {
            if (file.path != request.path) {
                continue;
            }
            std::string body = file.file.empty() ? json_() : server_ ? server_->pageFile(file.file) : std::string();
            if (!body.empty()) {
                reply.status = 200;
                reply.contentType = std::string(file.type);
                reply.body = std::move(body);
            }
        }
        reply.headersOnly = request.method == "HEAD";
    }
    reply.headers.emplace_back("Content-Security-Policy", kSecurityPolicy);
    reply.headers.emplace_back("X-Content-Type-Options", "nosniff");
    reply.headers.emplace_back("X-Frame-Options", "DENY");
    reply.headers.emplace_back("Referrer-Policy", "no-referrer");
    reply.headers.emplace_back("Cross-Origin-Resource-Policy", "same-origin");
    reply.headers.emplace_back("Cache-Control", "no-store");
    return reply;
}

} // namespace qf
