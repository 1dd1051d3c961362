#include "platform/qt/qt_status_server.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QLoggingCategory>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cerrno>
#include <unistd.h>
#include <vector>

#include "platform/failure.h"
#include "platform/socket_errors.h"

static void initStatusPageResources()
{
    Q_INIT_RESOURCE(status_page);
}

namespace qf {

// Accepts connections itself, so that it can refuse those past the limit and close the silent ones:
// the HTTP server alone keeps every connection, and every malformed request's, for as long as the
// client likes.
class QtStatusServer::Listener final : public QTcpServer {
  public:
    using QTcpServer::QTcpServer;

    void answered(QTcpSocket* socket)
    {
        for (Connection& c : open_) {
            if (c.socket == socket) {
                c.lastActiveMs = clock_.elapsed();
            }
        }
    }

    void sweep()
    {
        const qint64 now = clock_.elapsed();
        std::erase_if(open_, [now](Connection& c) {
            if (c.socket.isNull()) {
                return true;
            }
            if (c.socket->state() == QAbstractSocket::ConnectedState && now - c.lastActiveMs < kIdleMs) {
                return false;
            }
            c.socket->abort();
            c.socket->deleteLater();
            return true;
        });
    }

  protected:
    void incomingConnection(qintptr descriptor) override
    {
        sweep();
        if (open_.size() >= static_cast<std::size_t>(kMaxConnections)) {
            ::close(static_cast<int>(descriptor));
            return;
        }
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            ::close(static_cast<int>(descriptor));
            return;
        }
        // The server reads a request whole before it answers: past this it reads no more.
        socket->setReadBufferSize(kMaxRequestBytes);
        open_.push_back(Connection{socket, clock_.elapsed()});
        addPendingConnection(socket);
    }

  private:
    struct Connection {
        QPointer<QTcpSocket> socket;
        qint64 lastActiveMs = 0;
    };
    std::vector<Connection> open_;
    QElapsedTimer clock_ = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
};

namespace {

std::string methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    case QHttpServerRequest::Method::Post:
        return "POST";
    case QHttpServerRequest::Method::Put:
        return "PUT";
    case QHttpServerRequest::Method::Delete:
        return "DELETE";
    case QHttpServerRequest::Method::Options:
        return "OPTIONS";
    case QHttpServerRequest::Method::Patch:
        return "PATCH";
    case QHttpServerRequest::Method::Connect:
        return "CONNECT";
    case QHttpServerRequest::Method::Trace:
        return "TRACE";
    default:
        return {};
    }
}

Failure listenFailure(const QTcpServer& server)
{
    int err = 0;
    switch (server.serverError()) {
    case QAbstractSocket::AddressInUseError:
        err = EADDRINUSE;
        break;
    case QAbstractSocket::SocketAddressNotAvailableError:
        err = EADDRNOTAVAIL;
        break;
    case QAbstractSocket::SocketAccessError:
        err = EACCES;
        break;
    default:
        return Failure(kInvalidSocketArgument, server.errorString().toStdString());
    }
    const SocketError e = socketErrorFromErrno(err);
    return Failure(e.code, e.description);
}

QByteArray bytes(const std::string& text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QtStatusServer::QtStatusServer() : http_(std::make_unique<QHttpServer>()), sweep_(std::make_unique<QTimer>())
{
    initStatusPageResources();
    // What a stranger sends must not fill the journal: the server warns of every odd request.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.httpserver*=false"));
    http_->setMissingHandler([this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
        if (listener_ != nullptr) {
            listener_->answered(responder.socket());
        }
        HttpRequest asked{methodName(request.method()), request.url().path(QUrl::FullyEncoded).toStdString(),
                          request.value("Host").toStdString()};
        HttpReply reply;
        reply.status = 404;
        if (onRequest) {
            reply = onRequest(asked);
        }
        responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(reply.status));
        if (!reply.contentType.empty()) {
            responder.writeHeader("Content-Type", bytes(reply.contentType));
        }
        for (const auto& [name, value] : reply.headers) {
            responder.writeHeader(bytes(name), bytes(value));
        }
        responder.writeHeader("Content-Length", QByteArray::number(static_cast<qint64>(reply.body.size())));
        responder.writeBody(reply.headersOnly ? QByteArray() : bytes(reply.body));
    });
    sweep_->setInterval(1000);
    QObject::connect(sweep_.get(), &QTimer::timeout, [this] {
        if (listener_ != nullptr) {
            listener_->sweep();
        }
    });
}

QtStatusServer::~QtStatusServer() = default;

void QtStatusServer::listen(const std::string& address, int port)
{
    auto listener = std::make_unique<Listener>();
    if (!listener->listen(QHostAddress(QString::fromStdString(address)), static_cast<quint16>(port))) {
        throw listenFailure(*listener);
    }
    listener_ = listener.release();
    http_->bind(listener_);
    sweep_->start();
}

int QtStatusServer::localPort() const
{
    return listener_ != nullptr ? listener_->serverPort() : 0;
}

std::string QtStatusServer::pageFile(std::string_view name) const
{
    QFile file(QStringLiteral(":/status/") + QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray content = file.readAll();
    return std::string(content.constData(), static_cast<std::size_t>(content.size()));
}

} // namespace qf
