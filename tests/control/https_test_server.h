#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class QTcpServer;
class QTcpSocket;

namespace morvane::test {

// A small HTTP/1.1 server on 127.0.0.1 for the update tests, with TLS from a certificate made for
// the run (openssl), or plain when asked. Each path answers from a table; unknown paths get 404.
class TestWebServer : public QObject {
    Q_OBJECT
public:
    struct Request {
        QString path;
        QByteArray head; // request line and headers
    };
    // Writes the whole answer; may keep the socket for later writes or never answer at all.
    using Handler = std::function<void(QTcpSocket* socket)>;

    explicit TestWebServer(bool tls = true);
    ~TestWebServer() override;

    bool Listening() const;
    QString Problem() const { return problem_; }
    // The base address, "https://127.0.0.1:port".
    QString Base() const;
    // The certificate the client is to trust (PEM file).
    QString CertificateFile() const;

    void Serve(const QString& path, Handler handler) { handlers_.insert(path, std::move(handler)); }
    void ServeText(const QString& path, const QByteArray& body, int status = 200);
    void ServeRedirect(const QString& path, const QString& location);
    void ServeChunked(const QString& path, const QList<QByteArray>& chunks);
    // Announces the length, sends the first bytes and then nothing more.
    void ServeStalled(const QString& path, const QByteArray& first, qint64 announced);
    // Reads the request and never answers.
    void ServeNothing(const QString& path);

    QList<Request> requests;

private:
    void Accept(QTcpSocket* socket);
    void ReadRequest(QTcpSocket* socket);

    bool tls_;
    QTemporaryDir folder_;
    QString problem_;
    std::unique_ptr<QTcpServer> server_;
    QHash<QString, Handler> handlers_;
    QList<QPointer<QTcpSocket>> sockets_;
};

// The whole answer with a length, as HTTP/1.1 writes it.
QByteArray HttpAnswer(int status, const QByteArray& body, const QByteArray& extraHeaders = {});

} // namespace morvane::test
