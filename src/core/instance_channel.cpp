#include "core/instance_channel.h"

#include "platform/program_state.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QtEndian>

namespace morvane {

namespace {

QString KindName(TInstanceRequest::Kind kind) {
    switch (kind) {
    case TInstanceRequest::Kind::Show:
        return QStringLiteral("show");
    case TInstanceRequest::Kind::OpenJobFile:
        return QStringLiteral("open-job-file");
    case TInstanceRequest::Kind::Command:
        return QStringLiteral("command");
    }
    return QString();
}

std::optional<QJsonObject> ParseObject(const QByteArray& body) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

} // namespace

QString InstanceSocketPath() {
    return Program().ApplicationDirectory + QStringLiteral("/instance.socket");
}

QByteArray EncodeRequest(const TInstanceRequest& request) {
    QJsonObject object{{QStringLiteral("request"), KindName(request.kind)}};
    if (request.kind == TInstanceRequest::Kind::OpenJobFile)
        object.insert(QStringLiteral("path"), request.path);
    if (request.kind == TInstanceRequest::Kind::Command) {
        object.insert(QStringLiteral("arguments"), QJsonArray::fromStringList(request.arguments));
        object.insert(QStringLiteral("directory"), request.directory);
        object.insert(QStringLiteral("input"), QString::fromLatin1(request.input.toBase64()));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<TInstanceRequest> DecodeRequest(const QByteArray& body) {
    const std::optional<QJsonObject> object = ParseObject(body);
    if (!object)
        return std::nullopt;
    const QString kind = object->value(QStringLiteral("request")).toString();
    TInstanceRequest request;
    if (kind == u"show") {
        request.kind = TInstanceRequest::Kind::Show;
    } else if (kind == u"open-job-file") {
        request.kind = TInstanceRequest::Kind::OpenJobFile;
        request.path = object->value(QStringLiteral("path")).toString();
        if (request.path.isEmpty())
            return std::nullopt;
    } else if (kind == u"command") {
        request.kind = TInstanceRequest::Kind::Command;
        const QJsonArray arguments = object->value(QStringLiteral("arguments")).toArray();
        for (const QJsonValue& argument : arguments) {
            if (!argument.isString())
                return std::nullopt;
            request.arguments.append(argument.toString());
        }
        if (request.arguments.isEmpty())
            return std::nullopt;
        request.directory = object->value(QStringLiteral("directory")).toString();
        request.input = QByteArray::fromBase64(object->value(QStringLiteral("input")).toString().toLatin1());
    } else {
        return std::nullopt;
    }
    return request;
}

QByteArray EncodeReply(const TInstanceReply& reply) {
    const QJsonObject object{{QStringLiteral("status"), reply.status},
                             {QStringLiteral("output"), reply.output},
                             {QStringLiteral("errors"), reply.errors}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<TInstanceReply> DecodeReply(const QByteArray& body) {
    const std::optional<QJsonObject> object = ParseObject(body);
    if (!object || !object->value(QStringLiteral("status")).isDouble())
        return std::nullopt;
    TInstanceReply reply;
    reply.status = object->value(QStringLiteral("status")).toInt();
    reply.output = object->value(QStringLiteral("output")).toString();
    reply.errors = object->value(QStringLiteral("errors")).toString();
    return reply;
}

QByteArray Frame(const QByteArray& body) {
    QByteArray frame(4, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(body.size()), frame.data());
    return frame + body;
}

bool TakeFrame(QByteArray& buffer, QByteArray* body, bool* tooLong) {
    *tooLong = false;
    if (buffer.size() < 4)
        return false;
    const quint32 length = qFromBigEndian<quint32>(buffer.constData());
    if (length > static_cast<quint32>(MaxFrameBytes)) {
        *tooLong = true;
        return false;
    }
    if (buffer.size() < 4 + static_cast<qsizetype>(length))
        return false;
    *body = buffer.mid(4, length);
    buffer.remove(0, 4 + length);
    return true;
}

std::optional<TInstanceReply> SendToRunningInstance(const TInstanceRequest& request, int timeoutMilliseconds,
                                                    const QString& socketPath) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(timeoutMilliseconds < 0 ? 5000 : qMin(timeoutMilliseconds, 5000)))
        return std::nullopt;
    socket.write(Frame(EncodeRequest(request)));
    if (!socket.waitForBytesWritten(timeoutMilliseconds))
        return std::nullopt;
    QElapsedTimer clock;
    clock.start();
    QByteArray buffer;
    while (true) {
        QByteArray body;
        bool tooLong = false;
        if (TakeFrame(buffer, &body, &tooLong))
            return DecodeReply(body);
        if (tooLong)
            return std::nullopt;
        qint64 left = -1;
        if (timeoutMilliseconds >= 0) {
            left = timeoutMilliseconds - clock.elapsed();
            if (left <= 0)
                return std::nullopt;
        }
        if (!socket.waitForReadyRead(static_cast<int>(left)) && socket.bytesAvailable() == 0)
            return std::nullopt;
        buffer += socket.readAll();
    }
}

TInstanceServer::TInstanceServer(THandler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)), server_(new QLocalServer(this)) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &TInstanceServer::Accept);
}

TInstanceServer::~TInstanceServer() = default;

bool TInstanceServer::Listen(const QString& socketPath) {
    QLocalServer::removeServer(socketPath);
    return server_->listen(socketPath);
}

QString TInstanceServer::ErrorText() const {
    return server_->errorString();
}

void TInstanceServer::Accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
    }
}

void TInstanceServer::Read(QLocalSocket* socket) {
    // One request per connection; what follows it is ignored.
    if (socket->property("answered").isValid())
        return;
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    QByteArray body;
    bool tooLong = false;
    if (!TakeFrame(buffer, &body, &tooLong)) {
        if (tooLong)
            socket->disconnectFromServer();
        else
            socket->setProperty("buffer", buffer);
        return;
    }
    socket->setProperty("answered", true);
    const std::optional<TInstanceRequest> request = DecodeRequest(body);
    QPointer<QLocalSocket> guarded(socket);
    const TAnswer answer = [guarded](const TInstanceReply& reply) {
        if (!guarded)
            return;
        guarded->write(Frame(EncodeReply(reply)));
        guarded->disconnectFromServer();
    };
    if (!request) {
        answer({64, QString(), QStringLiteral("The request was not understood.")});
        return;
    }
    handler_(*request, answer);
}

} // namespace morvane
