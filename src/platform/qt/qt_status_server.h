// StatusServer on Qt's HTTP server, guarded against what a stranger's client can do to it: a bounded
// number of connections, a bounded request, and no connection kept once it falls silent.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/status_server.h"

class QHttpServer;
class QTimer;

namespace qf {

class QtStatusServer final : public StatusServer {
  public:
    QtStatusServer();
    ~QtStatusServer() override;
    QtStatusServer(const QtStatusServer&) = delete;
    QtStatusServer& operator=(const QtStatusServer&) = delete;

    void listen(const std::string& address, int port) override;
    int localPort() const override;
    std::string pageFile(std::string_view name) const override;

    // Connections at once; more are closed as they come.
    static constexpr int kMaxConnections = 16;
    // Bytes a connection may hold unanswered: a page's request is a few hundred.
    static constexpr int kMaxRequestBytes = 16 * 1024;
    // A connection without a request answered for this long is closed (a browser opens a new one).
    static constexpr int kIdleMs = 15000;

  private:
    class Listener;
    std::unique_ptr<QHttpServer> http_;
    Listener* listener_ = nullptr; // owned by http_ once listening
    std::unique_ptr<QTimer> sweep_;
};

} // namespace qf
