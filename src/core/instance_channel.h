#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;

namespace morvane {

// What the running desktop program is asked by a second start of itself or by the command-line
// tool. The protocol is described in docs/single-instance.md.
struct TInstanceRequest {
    enum class Kind { Show, OpenJobFile, Command };
    Kind kind = Kind::Show;
    QString path;          // OpenJobFile: the job file
    QStringList arguments; // Command: the command-line tool's arguments, command word first
    QString directory;     // Command: the caller's working directory
    QByteArray input;      // Command: what the caller read from its standard input
};

struct TInstanceReply {
    int status = 0; // the command-line tool's exit status
    QString output; // for standard output
    QString errors; // for standard error
};

// The environment variable that tells a command-line tool started by the desktop program that its
// parent holds the instance lock on its behalf; its value is that parent's process id.
inline constexpr char LockDelegationVariable[] = "MORVANE_LOCK_DELEGATED_BY";

// The socket of this user's running instance, in the application directory (owner-only).
QString InstanceSocketPath();

QByteArray EncodeRequest(const TInstanceRequest& request);
std::optional<TInstanceRequest> DecodeRequest(const QByteArray& body);
QByteArray EncodeReply(const TInstanceReply& reply);
std::optional<TInstanceReply> DecodeReply(const QByteArray& body);

// One frame: a 4-byte big-endian length, then that many bytes of a UTF-8 JSON object.
QByteArray Frame(const QByteArray& body);
// Takes one whole frame from the front of `buffer` into `body`; false while it is incomplete.
// `tooLong` is set (and nothing taken) when the announced length exceeds the limit.
bool TakeFrame(QByteArray& buffer, QByteArray* body, bool* tooLong);

inline constexpr qint32 MaxFrameBytes = 1 << 20;

// Sends one request to the running instance and waits for its reply. Nothing when no instance
// listens (or it ended without answering). A negative timeout waits for the answer without limit. Blocks the
// calling thread: only for programs that have nothing else to do meanwhile (the second start, the
// command-line tool).
std::optional<TInstanceReply> SendToRunningInstance(const TInstanceRequest& request, int timeoutMilliseconds,
                                                    const QString& socketPath = InstanceSocketPath());

// The running instance's end: listens on the socket and hands each request to `handler`, which
// answers through the callback, at once or later (the connection stays open until then).
class TInstanceServer : public QObject {
    Q_OBJECT
public:
    using TAnswer = std::function<void(const TInstanceReply&)>;
    using THandler = std::function<void(const TInstanceRequest&, TAnswer)>;

    explicit TInstanceServer(THandler handler, QObject* parent = nullptr);
    ~TInstanceServer() override;

    // Only while holding the instance lock: a socket file left by an ended instance is replaced.
    bool Listen(const QString& socketPath = InstanceSocketPath());
    QString ErrorText() const;

private:
    void Accept();
    void Read(QLocalSocket* socket);

    THandler handler_;
    QLocalServer* server_;
};

} // namespace morvane
