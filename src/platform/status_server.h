// A small read-only web server for the status page: it hands each request to onRequest and writes
// the reply; what is served, and to whom, is decided in plain C++ (src/status/).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qf {

struct HttpRequest {
    std::string method; // "GET", "HEAD", "POST", ...; empty when the server does not know it
    std::string path;   // without the query
    std::string host;   // the Host header, empty when none came
};

struct HttpReply {
    int status = 200;
    std::string contentType;
    std::string body;
    // A HEAD request: the headers (and the length) of the body, but not the body itself.
    bool headersOnly = false;
    std::vector<std::pair<std::string, std::string>> headers;
};

class StatusServer {
  public:
    virtual ~StatusServer() = default;
    // Listens on a dotted IPv4 address ("0.0.0.0": every interface) and a port; throws Failure with
    // the socket layer's number (10048 in use, 10049 not an address here, 10013 not allowed).
    virtual void listen(const std::string& address, int port) = 0;
    // The port listened on, read back from the system; 0 while not listening.
    virtual int localPort() const = 0;
    // A file of the page compiled into the program ("index.html"); empty when there is none.
    virtual std::string pageFile(std::string_view name) const = 0;

    std::function<HttpReply(const HttpRequest&)> onRequest;
};

} // namespace qf
