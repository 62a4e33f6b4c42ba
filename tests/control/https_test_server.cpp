#include "https_test_server.h"

#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>

namespace morvane::test {

namespace {

QByteArray ReasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    default:
        return "Status";
    }
}

} // namespace

QByteArray HttpAnswer(int status, const QByteArray& body, const QByteArray& extraHeaders) {
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + ReasonPhrase(status) +
           "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" + extraHeaders + "\r\n" + body;
}

TestWebServer::TestWebServer(bool tls) : tls_(tls) {
    if (tls_) {
        const QString key = folder_.filePath(QStringLiteral("key.pem"));
        const QString certificate = folder_.filePath(QStringLiteral("certificate.pem"));
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                       QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                       QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                       QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"),
                       QStringLiteral("-keyout"), key, QStringLiteral("-out"), certificate});
        if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0) {
            problem_ = QStringLiteral("openssl could not make a certificate: ") +
                       QString::fromLocal8Bit(openssl.readAllStandardError());
            return;
        }
        QFile keyFile(key);
        keyFile.open(QIODevice::ReadOnly);
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificateChain(QSslCertificate::fromPath(certificate));
        configuration.setPrivateKey(QSslKey(&keyFile, QSsl::Rsa));
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        auto server = std::make_unique<QSslServer>();
        server->setSslConfiguration(configuration);
        server_ = std::move(server);
    } else {
        server_ = std::make_unique<QTcpServer>();
    }
    const auto drain = [this] {
        while (QTcpSocket* socket = server_->nextPendingConnection())
            Accept(socket);
    };
    connect(server_.get(), &QTcpServer::pendingConnectionAvailable, this, drain);
    connect(server_.get(), &QTcpServer::newConnection, this, drain);
    if (!server_->listen(QHostAddress::LocalHost))
        problem_ = server_->errorString();
}

TestWebServer::~TestWebServer() {
    for (const QPointer<QTcpSocket>& socket : sockets_) {
        if (socket)
            socket->abort();
    }
}

bool TestWebServer::Listening() const {
    return server_ && server_->isListening();
}

QString TestWebServer::Base() const {
    return (tls_ ? QStringLiteral("https://127.0.0.1:") : QStringLiteral("http://127.0.0.1:")) +
           QString::number(server_ ? server_->serverPort() : 0);
}

QString TestWebServer::CertificateFile() const {
    return folder_.filePath(QStringLiteral("certificate.pem"));
}

void TestWebServer::ServeText(const QString& path, const QByteArray& body, int status) {
    Serve(path, [body, status](QTcpSocket* socket) { socket->write(HttpAnswer(status, body)); });
}

void TestWebServer::ServeRedirect(const QString& path, const QString& location) {
    Serve(path, [location](QTcpSocket* socket) {
        socket->write(HttpAnswer(302, {}, "Location: " + location.toUtf8() + "\r\n"));
    });
}

void TestWebServer::ServeChunked(const QString& path, const QList<QByteArray>& chunks) {
    Serve(path, [chunks](QTcpSocket* socket) {
        QByteArray answer = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
        for (const QByteArray& chunk : chunks)
            answer += QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
        answer += "0\r\n\r\n";
        socket->write(answer);
    });
}

void TestWebServer::ServeStalled(const QString& path, const QByteArray& first, qint64 announced) {
    Serve(path, [first, announced](QTcpSocket* socket) {
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(announced) + "\r\n\r\n" +
                      first);
        socket->flush();
    });
}

void TestWebServer::ServeNothing(const QString& path) {
    Serve(path, [](QTcpSocket*) {});
}

void TestWebServer::Accept(QTcpSocket* socket) {
    sockets_.append(socket);
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { ReadRequest(socket); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    if (socket->bytesAvailable() > 0)
        ReadRequest(socket);
}

void TestWebServer::ReadRequest(QTcpSocket* socket) {
    // Keep-alive: every complete request on the connection is answered in turn.
    QByteArray buffer = socket->property("head").toByteArray() + socket->readAll();
    for (qsizetype end = buffer.indexOf("\r\n\r\n"); end >= 0; end = buffer.indexOf("\r\n\r\n")) {
        const QByteArray head = buffer.left(end);
        buffer.remove(0, end + 4);
        const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
        const QString path = requestLine.size() > 1 ? QString::fromUtf8(requestLine.at(1)) : QString();
        requests.append({path, head});
        const auto handler = handlers_.constFind(path);
        if (handler == handlers_.constEnd())
            socket->write(HttpAnswer(404, "no such page"));
        else
            (*handler)(socket);
    }
    socket->setProperty("head", buffer);
}

} // namespace morvane::test
