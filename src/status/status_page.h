// The status page as a web server sees it: where it listens (settings StatusPort and StatusAddress),
// whom it answers, and what it answers. Read only: GET and HEAD of four fixed paths, data only as
// JSON, every reply with headers that let the browser load nothing from elsewhere.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/status_server.h"

namespace qf {

// Optional keys, not written by a first run: missing or empty, the page is on 127.0.0.1:8737.
inline constexpr const char* kStatusPortKey = "StatusPort";
inline constexpr const char* kStatusAddressKey = "StatusAddress";
inline constexpr int kDefaultStatusPort = 8737;
inline constexpr const char* kDefaultStatusAddress = "127.0.0.1";

struct StatusEndpoint {
    std::string address;
    int port = 0;        // 0: the page is off
    std::string problem; // why a value cannot be used (the page is then off); empty when none
};

// isOwnAddress: whether a dotted address is one of this machine's.
StatusEndpoint statusEndpointFrom(std::string_view portText, std::string_view addressText,
                                  const std::function<bool(const std::string&)>& isOwnAddress);

// Whether a request's Host header names this machine: an address, "localhost" or the machine's own
// name (with ".local"). A page elsewhere that points a name of its own at this machine (DNS
// rebinding) is thereby kept from reading the status.
bool hostAllowed(std::string_view host, std::string_view machineName);

class StatusPage {
  public:
    // json: the body of /status.json; machineName: the host name the page also answers to.
    StatusPage(std::function<std::string()> json, std::string machineName);

    // Starts the server as the settings say. Afterwards line() tells where the page is, or why it is
    // off, and is empty when it is turned off (StatusPort=0).
    void start(std::unique_ptr<StatusServer> server, const StatusEndpoint& where);
    bool on() const { return server_ != nullptr; }
    const std::string& line() const { return line_; }

    HttpReply answer(const HttpRequest& request) const;

  private:
    std::function<std::string()> json_;
    std::string machineName_;
    std::unique_ptr<StatusServer> server_;
    std::string line_;
};

} // namespace qf
