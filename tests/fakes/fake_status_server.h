// A status page server that records where it was asked to listen and lets a test make requests.
#pragma once

#include <optional>
#include <string>

#include "platform/failure.h"
#include "platform/status_server.h"

namespace qf::test {

class FakeStatusServer final : public StatusServer {
  public:
    void listen(const std::string& a, int p) override
    {
        address = a;
        if (listenFailure) {
            throw *listenFailure;
        }
        port = p;
    }
    int localPort() const override { return port; }
    std::string pageFile(std::string_view name) const override { return "file " + std::string(name); }

    HttpReply request(const std::string& method, const std::string& path, const std::string& host = "127.0.0.1")
    {
        return onRequest(HttpRequest{method, path, host});
    }

    std::string address;
    int port = 0;
    std::optional<Failure> listenFailure;
};

} // namespace qf::test
