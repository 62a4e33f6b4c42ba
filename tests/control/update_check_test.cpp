#include "control/new_version.h"
#include "control/update_check.h"

#include "https_test_server.h"
#include "i18n/translation.h"
#include "platform/settings_store.h"
#include "process_events.h"
#include "scripted_prompt.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

QByteArray Sha256Hex(const QByteArray& data) {
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

QByteArray PackageBytes() {
    QByteArray bytes;
    for (int i = 0; i < 300000; ++i)
        bytes.append(static_cast<char>((i % 251) ^ (i / 251)));
    return bytes;
}

const QString PackageName = u"morvane-backup_2.4_amd64.deb"_s;
const QString VersionPath = QString::fromUtf16(VersionResourcePath);
const QString ChangesPath = QString::fromUtf16(ChangesResourcePath);
const QString Changes = u"Faster copies\r\n\r\n   \r\nFixed the log viewer\n"_s;
const QString ChangesShown = u"\r\n\r\nWhat's new:\r\nFaster copies\r\nFixed the log viewer\r\n"_s;
const QString OfferText = u"The new version 2.4 is available"_s + ChangesShown;
const QString ForcedText =
    u"This version of the software is out of date. You must download the current version 2.4 to continue "
    "using the software."_s +
    ChangesShown;

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        Catalogue().CurrentLanguageIndex = 0;
        ASSERT_TRUE(server.Listening()) << server.Problem().toStdString();
        ASSERT_TRUE(plain.Listening()) << plain.Problem().toStdString();
        ASSERT_TRUE(temp.isValid());
    }

    // Each case lives below its own folder of the one server.
    TUpdateSettings SettingsFor(const QString& prefix) const {
        TUpdateSettings settings;
        settings.server = QUrl(server.Base() + prefix);
        settings.webSite = QUrl(u"https://www.example.org/morvane"_s);
        settings.trustedCertificatesFile = server.CertificateFile();
        return settings;
    }

    QStringList RequestsUnder(const QString& prefix) const {
        QStringList paths;
        for (const test::TestWebServer::Request& request : server.requests) {
            if (request.path.startsWith(prefix + u'/'))
                paths << request.path;
        }
        return paths;
    }

    QString TempFolder() const { return temp.filePath(u"tmp"_s); }
    QStringList FilesLeft() const { return QDir(TempFolder()).entryList(QDir::Files | QDir::Hidden); }

    test::TestWebServer server;
    test::TestWebServer plain{false};
    QTemporaryDir temp;
};

TEST(UpdateTextsTest, VersionLinesPackageLinesAndDisplay) {
    EXPECT_EQ(VersionDisplay(u"24"_s), u"2.4"_s);
    EXPECT_EQ(VersionDisplay(u"123"_s), u"12.3"_s);

    const std::optional<TVersionLine> line = ParseVersionLine(u" 24 / 23"_s);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->latest, 24);
    EXPECT_EQ(line->minimum, 23);
    for (const QString& refused : QStringList{u"2.4/2.3"_s, u"24"_s, u"/23"_s, u"24/"_s, u"-24/23"_s,
                                              u"24/23/1"_s, u"x24/23"_s, u"99999999999/1"_s})
        EXPECT_FALSE(ParseVersionLine(refused)) << refused.toStdString();

    const QString digest = QString::fromLatin1(Sha256Hex("package"));
    const std::optional<TUpdatePackage> package = ParsePackageLine(PackageName + u"  "_s + digest);
    ASSERT_TRUE(package);
    EXPECT_EQ(package->fileName, PackageName);
    EXPECT_EQ(package->sha256, QCryptographicHash::hash("package", QCryptographicHash::Sha256));
    // A name that would leave the temporary folder or hide itself, or a short digest, is no package.
    for (const QString& refused :
         QStringList{u"../evil.deb "_s + digest, u"a/b.deb "_s + digest, u".hidden.deb "_s + digest,
                     u"a..b.deb "_s + digest, PackageName + u" "_s + digest.left(63), PackageName, digest})
        EXPECT_FALSE(ParsePackageLine(refused)) << refused.toStdString();
}

TEST(UpdateTextsTest, StoreReplacesTheBuiltInAddresses) {
    QTemporaryDir folder;
    const SettingsStore store(folder.filePath(u"settings.ini"_s));
    const TUpdateSettings builtIn = LoadUpdateSettings(store);
    EXPECT_EQ(builtIn.server.scheme(), u"https"_s);
    EXPECT_EQ(builtIn.readTimeoutMilliseconds, 10000);
    EXPECT_EQ(builtIn.maximumRedirects, 10);
    EXPECT_TRUE(builtIn.trustedCertificatesFile.isEmpty());

    ASSERT_TRUE(store.WriteString(QString::fromUtf16(UpdateServerKey), u"https://mirror.example.net/base"_s));
    ASSERT_TRUE(store.WriteString(QString::fromUtf16(UpdateWebSiteKey), u"https://mirror.example.net/"_s));
    ASSERT_TRUE(store.WriteString(QString::fromUtf16(UpdateTrustedCertificatesKey), u"/etc/mirror.pem"_s));
    const TUpdateSettings mirror = LoadUpdateSettings(store);
    EXPECT_EQ(mirror.server, QUrl(u"https://mirror.example.net/base"_s));
    EXPECT_EQ(mirror.webSite, QUrl(u"https://mirror.example.net/"_s));
    EXPECT_EQ(mirror.trustedCertificatesFile, u"/etc/mirror.pem"_s);
    EXPECT_EQ(*UpdateResourceUrl(mirror.server, VersionPath),
              QUrl(u"https://mirror.example.net/base/download/version/morvanebackup-version.html"_s));
    EXPECT_FALSE(UpdateResourceUrl(QUrl(u"http://mirror.example.net"_s), VersionPath));
}

struct CheckCase {
    QString name;
    // Serves the case below its folder; `plain` is the unencrypted server.
    std::function<void(test::TestWebServer& server, test::TestWebServer& plain, const QString& prefix)> serve;
    std::optional<QString> message; // nothing: no offer
    bool mustUpdate = false;
    bool package = false;
    bool trusted = true;
    bool secureBase = true;
};

void ServeBoth(test::TestWebServer& server, const QString& prefix, const QByteArray& version) {
    server.ServeText(prefix + VersionPath, version);
    server.ServeText(prefix + ChangesPath, Changes.toUtf8());
}

TEST_F(UpdateTest, CheckAnswersEachServer) {
    const QByteArray digest = Sha256Hex("package");
    const std::vector<CheckCase> cases = {
        {u"newer"_s, [](auto& s, auto&, const QString& p) { ServeBoth(s, p, "24/23\r\n"); }, OfferText},
        {u"forced"_s, [](auto& s, auto&, const QString& p) { ServeBoth(s, p, "24/24"); }, ForcedText, true},
        {u"same"_s, [](auto& s, auto&, const QString& p) { ServeBoth(s, p, "23/23"); }, std::nullopt},
        {u"dotted"_s, [](auto& s, auto&, const QString& p) { ServeBoth(s, p, "2.4/2.3"); }, std::nullopt},
        {u"noslash"_s, [](auto& s, auto&, const QString& p) { ServeBoth(s, p, "24"); }, std::nullopt},
        {u"empty"_s, [](auto& s, auto&, const QString& p) { ServeBoth(s, p, ""); }, std::nullopt},
        {u"package"_s,
         [digest](auto& s, auto&, const QString& p) {
             ServeBoth(s, p,
                       "\xEF\xBB\xBF"
                       "24/23\r\n" +
                           PackageName.toUtf8() + ' ' + digest + "\r\n");
         },
         OfferText, false, true},
        {u"badpackage"_s,
         [](auto& s, auto&, const QString& p) { ServeBoth(s, p, "24/23\n../../x.deb 1234\n"); }, OfferText},
        {u"missing"_s, [](auto& s, auto&, const QString& p) { s.ServeText(p + ChangesPath, "x"); },
         std::nullopt},
        {u"nochanges"_s, [](auto& s, auto&, const QString& p) { s.ServeText(p + VersionPath, "24/23"); },
         std::nullopt},
        {u"servererror"_s,
         [](auto& s, auto&, const QString& p) {
             s.ServeText(p + VersionPath, "24/23", 500);
             s.ServeText(p + ChangesPath, "x");
         },
         std::nullopt},
        {u"moved"_s,
         [](auto& s, auto&, const QString& p) {
             s.ServeRedirect(p + VersionPath, s.Base() + p + u"/elsewhere"_s);
             s.ServeText(p + u"/elsewhere"_s, "24/23");
             s.ServeText(p + ChangesPath, Changes.toUtf8());
         },
         OfferText},
        {u"toplain"_s,
         [](auto& s, auto& clear, const QString& p) {
             s.ServeRedirect(p + VersionPath, clear.Base() + p + VersionPath);
             ServeBoth(clear, p, "24/23");
             s.ServeText(p + ChangesPath, Changes.toUtf8());
         },
         std::nullopt},
        // Ten redirects are followed, the eleventh is not.
        {u"tenhops"_s,
         [](auto& s, auto&, const QString& p) {
             s.ServeRedirect(p + VersionPath, s.Base() + p + u"/hop1"_s);
             for (int hop = 1; hop < 10; ++hop)
                 s.ServeRedirect(p + u"/hop%1"_s.arg(hop), s.Base() + p + u"/hop%1"_s.arg(hop + 1));
             s.ServeText(p + u"/hop10"_s, "24/23");
             s.ServeText(p + ChangesPath, Changes.toUtf8());
         },
         OfferText},
        {u"elevenhops"_s,
         [](auto& s, auto&, const QString& p) {
             s.ServeRedirect(p + VersionPath, s.Base() + p + u"/hop1"_s);
             for (int hop = 1; hop < 11; ++hop)
                 s.ServeRedirect(p + u"/hop%1"_s.arg(hop), s.Base() + p + u"/hop%1"_s.arg(hop + 1));
             s.ServeText(p + u"/hop11"_s, "24/23");
             s.ServeText(p + ChangesPath, Changes.toUtf8());
         },
         std::nullopt},
        {u"untrusted"_s, [](auto& s, auto&, const QString& p) { ServeBoth(s, p, "24/23"); }, std::nullopt,
         false, false, false},
        {u"plainbase"_s, [](auto&, auto& clear, const QString& p) { ServeBoth(clear, p, "24/23"); },
         std::nullopt, false, false, true, false},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const QString prefix = u"/"_s + c.name;
        c.serve(server, plain, prefix);
        TUpdateSettings settings = SettingsFor(prefix);
        if (!c.trusted)
            settings.trustedCertificatesFile.clear();
        if (!c.secureBase)
            settings.server = QUrl(plain.Base() + prefix);
        TUpdateCheck check(settings);
        check.Start();
        ASSERT_TRUE(test::ProcessEventsUntil([&] { return check.Done(); }));
        ASSERT_EQ(check.Offer().has_value(), c.message.has_value());
        if (c.message) {
            EXPECT_EQ(check.Offer()->Message, *c.message);
            EXPECT_EQ(check.Offer()->MustUpdate, c.mustUpdate);
            EXPECT_EQ(check.Offer()->Package.has_value(), c.package);
        }
    }
    // Nothing ever went over the unencrypted server.
    EXPECT_TRUE(plain.requests.isEmpty());

    const QStringList asked = RequestsUnder(u"/newer"_s);
    EXPECT_EQ(asked, QStringList({u"/newer"_s + VersionPath, u"/newer"_s + ChangesPath}));
    for (const test::TestWebServer::Request& request : server.requests) {
        if (request.path.startsWith(u"/newer/"_s)) {
            EXPECT_TRUE(request.head.contains("\r\nUser-Agent: Mozilla/4.0 (compatible; MyApp)"))
                << request.head.toStdString();
        }
    }
}

TEST_F(UpdateTest, ServerThatNeverAnswersDoesNotHoldUpTheStart) {
    server.ServeNothing(u"/silent"_s + VersionPath);
    TUpdateSettings settings = SettingsFor(u"/silent"_s);
    // Long enough for the encrypted connection to be made in a slow sanitizer build, so the question is
    // asked before the timeout ends the wait for its answer.
    settings.readTimeoutMilliseconds = 3000;
    TUpdateCheck check(settings);
    bool finished = false;
    QObject::connect(&check, &TUpdateCheck::Finished, [&] { finished = true; });
    check.Start();
    // Start only sends the question; the answer comes through the event loop.
    EXPECT_FALSE(check.Done());
    EXPECT_FALSE(finished);
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return check.Done(); }));
    EXPECT_TRUE(finished);
    EXPECT_FALSE(check.Offer());
    EXPECT_EQ(RequestsUnder(u"/silent"_s), QStringList{u"/silent"_s + VersionPath});
}

struct DownloadCase {
    QString name;
    std::function<void(test::TestWebServer& server, test::TestWebServer& plain, const QString& path)> serve;
    QByteArray digest;
    std::optional<QString> reason; // nothing: the download succeeds
    bool progressShown = true;
};

TEST_F(UpdateTest, DownloadIsCheckedAgainstItsDigest) {
    const QByteArray bytes = PackageBytes();
    const QByteArray digest = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    const QString packagePath = QString::fromUtf16(PackageFolderPath) + PackageName;
    const std::vector<DownloadCase> cases = {
        {u"whole"_s, [bytes](auto& s, auto&, const QString& path) { s.ServeText(path, bytes); }, digest,
         std::nullopt},
        {u"chunked"_s,
         [bytes](auto& s, auto&, const QString& path) {
             s.ServeChunked(path, {bytes.left(1000), bytes.mid(1000, 100000), bytes.mid(101000)});
         },
         digest, std::nullopt, false},
        {u"moved"_s,
         [bytes](auto& s, auto&, const QString& path) {
             s.ServeRedirect(path, s.Base() + path + u".moved"_s);
             s.ServeText(path + u".moved"_s, bytes);
         },
         digest, std::nullopt},
        {u"mismatch"_s,
         [bytes](auto& s, auto&, const QString& path) {
             s.ServeText(path, bytes.left(bytes.size() - 1) + 'x');
         },
         digest, u"The downloaded file does not match its published SHA-256 checksum."_s},
        {u"toplain"_s,
         [bytes](auto& s, auto& clear, const QString& path) {
             s.ServeRedirect(path, clear.Base() + path);
             clear.ServeText(path, bytes);
         },
         digest, u"The server sent the download to an address that is not secure."_s},
        {u"missing"_s, [](auto&, auto&, const QString&) {}, digest, u"server replied: Not Found"_s},
    };
    for (const DownloadCase& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const QString prefix = u"/"_s + c.name;
        c.serve(server, plain, prefix + packagePath);
        TUpdateDownload download(SettingsFor(prefix));
        QList<int> progress;
        std::optional<QString> finished;
        std::optional<QString> failed;
        QObject::connect(&download, &TUpdateDownload::Progress, [&](int percent) { progress << percent; });
        QObject::connect(&download, &TUpdateDownload::Finished,
                         [&](const QString& path) { finished = path; });
        QObject::connect(&download, &TUpdateDownload::Failed,
                         [&](const QString& reason) { failed = reason; });
        download.Start({PackageName, c.digest}, TempFolder());
        ASSERT_TRUE(test::ProcessEventsUntil([&] { return finished || failed; }));
        if (c.reason) {
            ASSERT_TRUE(failed);
            EXPECT_TRUE(failed->contains(*c.reason)) << failed->toStdString();
            EXPECT_TRUE(FilesLeft().isEmpty()) << FilesLeft().join(u' ').toStdString();
            continue;
        }
        ASSERT_TRUE(finished) << failed.value_or(QString()).toStdString();
        const QFileInfo file(*finished);
        EXPECT_EQ(file.absolutePath(), QFileInfo(TempFolder()).absoluteFilePath());
        EXPECT_TRUE(file.fileName().endsWith(u"-"_s + PackageName)) << file.fileName().toStdString();
        EXPECT_NE(file.fileName(), PackageName);
        EXPECT_EQ(file.permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::WriteGroup), 0);
        QFile content(*finished);
        ASSERT_TRUE(content.open(QIODevice::ReadOnly));
        EXPECT_EQ(content.readAll(), bytes);
        if (c.progressShown) {
            ASSERT_FALSE(progress.isEmpty());
            EXPECT_EQ(progress.last(), 100);
            EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        } else {
            EXPECT_TRUE(progress.isEmpty());
        }
        QFile::remove(*finished);
    }
    EXPECT_TRUE(plain.requests.isEmpty());
}

// The window's controller over a recorded desktop and a scripted user.
class RecordingOpener final : public IDesktopOpener {
public:
    bool Open(const QUrl& url) override {
        opened << url;
        return !refuseFiles || !url.isLocalFile();
    }
    QList<QUrl> opened;
    bool refuseFiles = false;
};

class RecordingView final : public INewVersionView {
public:
    void ShowDownloading() override { calls << u"downloading"_s; }
    void SetProgress(int percent) override { lastProgress = percent; }
    void CloseWindow() override { calls << u"closed"_s; }
    QStringList calls;
    int lastProgress = -1;
};

class NewVersionTest : public UpdateTest {
protected:
    TUpdateOffer Offer(bool mustUpdate, bool withPackage) const {
        TUpdateOffer offer;
        offer.MustUpdate = mustUpdate;
        offer.Message = OfferText;
        if (withPackage)
            offer.Package =
                TUpdatePackage{PackageName, QCryptographicHash::hash(bytes, QCryptographicHash::Sha256)};
        return offer;
    }
    std::unique_ptr<TNewVersionController> Controller(const TUpdateOffer& offer) {
        auto controller = std::make_unique<TNewVersionController>(offer, SettingsFor(u"/window"_s),
                                                                  TempFolder(), prompt, opener);
        controller->SetView(&view);
        QObject::connect(controller.get(), &TNewVersionController::Closed,
                         [this](bool goOn) { closed = goOn; });
        return controller;
    }

    const QByteArray bytes = PackageBytes();
    const QString packagePath = u"/window"_s + QString::fromUtf16(PackageFolderPath) + PackageName;
    test::ScriptedPrompt prompt;
    RecordingOpener opener;
    RecordingView view;
    std::optional<bool> closed;
};

TEST_F(NewVersionTest, CancelGoesOnUnlessTheUpdateIsForced) {
    for (const bool forced : {false, true}) {
        closed.reset();
        view.calls.clear();
        auto controller = Controller(Offer(forced, true));
        EXPECT_EQ(controller->MustUpdate(), forced);
        controller->CancelClicked();
        ASSERT_TRUE(closed);
        EXPECT_EQ(*closed, !forced);
        EXPECT_EQ(view.calls, QStringList{u"closed"_s});
    }
    EXPECT_TRUE(opener.opened.isEmpty());
    EXPECT_TRUE(prompt.asked.isEmpty());
    EXPECT_TRUE(server.requests.isEmpty());
}

TEST_F(NewVersionTest, UpdateNowHandsTheVerifiedPackageToTheInstaller) {
    server.ServeText(packagePath, bytes);
    auto controller = Controller(Offer(false, true));
    controller->UpdateNow();
    EXPECT_TRUE(controller->MustUpdate());
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return closed.has_value(); }));
    EXPECT_FALSE(*closed);
    EXPECT_EQ(view.calls, QStringList({u"downloading"_s, u"closed"_s}));
    EXPECT_EQ(view.lastProgress, 100);
    EXPECT_TRUE(prompt.asked.isEmpty()) << prompt.asked.join(u'|').toStdString();
    ASSERT_EQ(opener.opened.size(), 1);
    ASSERT_TRUE(opener.opened.first().isLocalFile());
    QFile package(opener.opened.first().toLocalFile());
    ASSERT_TRUE(package.open(QIODevice::ReadOnly));
    EXPECT_EQ(package.readAll(), bytes);
}

TEST_F(NewVersionTest, DownloadFailuresAreReportedAndTheWebSiteOpens) {
    struct Case {
        QString name;
        std::function<void(TNewVersionController&)> act;
        QString reason;
        bool fileKept;
    };
    const std::vector<Case> cases = {
        // The user aborts a download that has begun.
        {u"abort"_s,
         [this](TNewVersionController& controller) {
             server.ServeStalled(packagePath, bytes.left(5000), bytes.size());
             controller.UpdateNow();
             // The server has begun to answer when the user clicks.
             ASSERT_TRUE(test::ProcessEventsUntil([&] { return !server.requests.isEmpty(); }));
             EXPECT_TRUE(controller.Downloading());
             EXPECT_EQ(view.calls, QStringList{u"downloading"_s});
             controller.CancelClicked();
         },
         u"Download is cancelled. Please download manually."_s, false},
        {u"installer"_s,
         [this](TNewVersionController& controller) {
             server.ServeText(packagePath, bytes);
             opener.refuseFiles = true;
             controller.UpdateNow();
         },
         u"No program to install the downloaded package was found."_s, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        closed.reset();
        view = RecordingView();
        opener = RecordingOpener();
        prompt.asked.clear();
        auto controller = Controller(Offer(false, true));
        c.act(*controller);
        ASSERT_TRUE(test::ProcessEventsUntil([&] { return closed.has_value(); }));
        EXPECT_FALSE(*closed);
        EXPECT_EQ(prompt.asked, QStringList{u"Error: Failed to download update.\r\n\r\n"_s + c.reason});
        ASSERT_FALSE(opener.opened.isEmpty());
        EXPECT_EQ(opener.opened.last(), QUrl(u"https://www.example.org/morvane"_s));
        EXPECT_EQ(view.calls.last(), u"closed"_s);
        EXPECT_EQ(FilesLeft().size(), c.fileKept ? 1 : 0);
    }
}

TEST_F(NewVersionTest, WithoutAPackageUpdateNowOpensTheWebSite) {
    auto controller = Controller(Offer(false, false));
    controller->UpdateNow();
    ASSERT_TRUE(closed);
    EXPECT_FALSE(*closed);
    EXPECT_EQ(opener.opened, QList<QUrl>{QUrl(u"https://www.example.org/morvane"_s)});
    EXPECT_TRUE(prompt.asked.isEmpty());
    EXPECT_TRUE(server.requests.isEmpty());
}

} // namespace
} // namespace morvane
