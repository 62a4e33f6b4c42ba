#include "core/instance_channel.h"

#include "fixtures/temp_home.h"

#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <future>

namespace morvane {
namespace {

TEST(InstanceChannelTest, RequestsSurviveEncoding) {
    TInstanceRequest open;
    open.kind = TInstanceRequest::Kind::OpenJobFile;
    open.path = QStringLiteral("/home/änn/Daily Docs.bmj");
    TInstanceRequest command;
    command.kind = TInstanceRequest::Kind::Command;
    command.arguments = {QStringLiteral("new"), QStringLiteral("Dö cs"), QStringLiteral("--password-stdin")};
    command.directory = QStringLiteral("/tmp/x");
    command.input = QByteArray("p@ss\n\0\xff", 7);
    for (const TInstanceRequest& request : {TInstanceRequest{}, open, command}) {
        const std::optional<TInstanceRequest> back = DecodeRequest(EncodeRequest(request));
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(back->kind, request.kind);
        EXPECT_EQ(back->path, request.path);
        EXPECT_EQ(back->arguments, request.arguments);
        EXPECT_EQ(back->directory, request.directory);
        EXPECT_EQ(back->input, request.input);
    }
}

TEST(InstanceChannelTest, MalformedRequestsAreRefused) {
    for (const char* body :
         {"", "[]", "not json", R"({"request":"reboot"})", R"({"request":"open-job-file"})",
          R"({"request":"command","arguments":[]})", R"({"request":"command","arguments":[1]})"})
        EXPECT_FALSE(DecodeRequest(QByteArray(body)).has_value()) << body;
    EXPECT_FALSE(DecodeReply(QByteArray(R"({"output":"x"})")).has_value());
}

TEST(InstanceChannelTest, FramesAreTakenWholeAndInOrder) {
    QByteArray buffer = Frame("first") + Frame("") + Frame("third");
    const QByteArray partial = buffer.left(7);
    QByteArray body;
    bool tooLong = true;
    QByteArray head = partial;
    EXPECT_FALSE(TakeFrame(head, &body, &tooLong));
    EXPECT_FALSE(tooLong);
    EXPECT_EQ(head, partial) << "an incomplete frame stays in the buffer";
    QByteArrayList bodies;
    while (TakeFrame(buffer, &body, &tooLong))
        bodies << body;
    EXPECT_EQ(bodies, QByteArrayList({"first", "", "third"}));
    EXPECT_TRUE(buffer.isEmpty());
    QByteArray huge("\x7f\x00\x00\x00", 4);
    EXPECT_FALSE(TakeFrame(huge, &body, &tooLong));
    EXPECT_TRUE(tooLong);
}

class InstanceServerTest : public testing::TempHomeTest {};

TEST_F(InstanceServerTest, AnswersEachRequestOnItsConnectionEvenLater) {
    const QString path = HomePath(QStringLiteral("instance.socket"));
    QStringList seen;
    TInstanceServer::TAnswer pending;
    TInstanceServer server([&](const TInstanceRequest& request, TInstanceServer::TAnswer answer) {
        seen << (request.kind == TInstanceRequest::Kind::Show ? QStringLiteral("show")
                                                              : request.arguments.join(u' '));
        if (request.kind == TInstanceRequest::Kind::Show) {
            answer({});
            return;
        }
        pending = answer; // answered from a timer below: the connection waits
        QTimer::singleShot(50, [&pending] { pending({2, QStringLiteral("out"), QStringLiteral("err")}); });
    });
    ASSERT_TRUE(server.Listen(path)) << server.ErrorText().toStdString();

    TInstanceRequest command;
    command.kind = TInstanceRequest::Kind::Command;
    command.arguments = {QStringLiteral("backup"), QStringLiteral("Docs")};
    // The clients block, so they run beside the event loop that serves them.
    auto show = std::async(std::launch::async, [&] { return SendToRunningInstance({}, 10000, path); });
    auto backup = std::async(std::launch::async, [&] { return SendToRunningInstance(command, 10000, path); });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (show.wait_for(std::chrono::seconds(0)) == std::future_status::ready &&
            backup.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
            loop.quit();
    });
    poll.start(10);
    loop.exec();
    const std::optional<TInstanceReply> shown = show.get();
    const std::optional<TInstanceReply> queued = backup.get();
    ASSERT_TRUE(shown && queued);
    EXPECT_EQ(shown->status, 0);
    EXPECT_EQ(queued->status, 2);
    EXPECT_EQ(queued->output, QStringLiteral("out"));
    EXPECT_EQ(queued->errors, QStringLiteral("err"));
    seen.sort();
    EXPECT_EQ(seen, QStringList({"backup Docs", "show"}));
}

TEST_F(InstanceServerTest, NobodyListeningIsNoAnswer) {
    EXPECT_FALSE(SendToRunningInstance({}, 2000, HomePath(QStringLiteral("none.socket"))).has_value());
}

} // namespace
} // namespace morvane
