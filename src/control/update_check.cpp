#include "control/update_check.h"

#include "formats/text_file.h"
#include "i18n/translation.h"
#include "platform/settings_store.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTemporaryFile>

#ifndef MORVANE_UPDATE_SERVER
#define MORVANE_UPDATE_SERVER "https://www.morvanebackup.example"
#endif
#ifndef MORVANE_WEB_SITE
#define MORVANE_WEB_SITE "https://www.morvanebackup.example/"
#endif

namespace morvane {

namespace {

const char RefusedRedirectProperty[] = "morvaneRefusedRedirect";

bool IsHttps(const QUrl& url) {
    return url.isValid() && url.scheme() == QLatin1String("https") && !url.host().isEmpty();
}

std::optional<int> PlainNumber(const QString& text) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    return text.toInt();
}

QString ChangesText(const QStringList& changesLines) {
    QString text;
    for (const QString& line : changesLines) {
        if (!line.trimmed().isEmpty())
            text += line + QStringLiteral("\r\n");
    }
    return text;
}

} // namespace

std::optional<TVersionLine> ParseVersionLine(const QString& line) {
    const qsizetype slash = line.indexOf(u'/');
    if (slash < 0)
        return std::nullopt;
    const QString latestText = line.left(slash).trimmed();
    const std::optional<int> latest = PlainNumber(latestText);
    const std::optional<int> minimum = PlainNumber(line.mid(slash + 1).trimmed());
    if (!latest || !minimum)
        return std::nullopt;
    return TVersionLine{*latest, *minimum, latestText};
}

QString VersionDisplay(const QString& number) {
    if (number.isEmpty())
        return number;
    return number.left(number.size() - 1) + u'.' + number.right(1);
}

std::optional<TUpdatePackage> ParsePackageLine(const QString& line) {
    static const QRegularExpression form(
        QStringLiteral("^\\s*([A-Za-z0-9][A-Za-z0-9._+~-]{0,199})\\s+([0-9A-Fa-f]{64})\\s*$"));
    const QRegularExpressionMatch match = form.match(line);
    if (!match.hasMatch() || match.captured(1).contains(QStringLiteral("..")))
        return std::nullopt;
    return TUpdatePackage{match.captured(1), QByteArray::fromHex(match.captured(2).toLatin1())};
}

std::optional<TUpdateOffer> DecideUpdate(const QStringList& versionLines, const QStringList& changesLines,
                                         int ownVersion) {
    if (versionLines.isEmpty())
        return std::nullopt;
    const std::optional<TVersionLine> version = ParseVersionLine(versionLines.first());
    if (!version)
        return std::nullopt;
    TUpdateOffer offer;
    offer.LatestDisplay = VersionDisplay(version->latestText);
    const QString whatsNew = QStringLiteral("\r\n\r\n") + Translate(QStringLiteral("What's new:")) +
                             QStringLiteral("\r\n") + ChangesText(changesLines);
    if (version->minimum > ownVersion) {
        offer.MustUpdate = true;
        offer.Message =
            FormatText(Translate(QStringLiteral("This version of the software is out of date. You must "
                                                "download the current version %s to continue using "
                                                "the software.")),
                       {offer.LatestDisplay}) +
            whatsNew;
    } else if (version->latest > ownVersion) {
        offer.Message =
            FormatText(Translate(QStringLiteral("The new version %s is available")), {offer.LatestDisplay}) +
            whatsNew;
    } else {
        return std::nullopt;
    }
    if (versionLines.size() > 1)
        offer.Package = ParsePackageLine(versionLines.at(1));
    return offer;
}

TUpdateSettings LoadUpdateSettings(const SettingsStore& store) {
    TUpdateSettings settings;
    settings.server = QUrl(QStringLiteral(MORVANE_UPDATE_SERVER));
    settings.webSite = QUrl(QStringLiteral(MORVANE_WEB_SITE));
    if (const std::optional<QString> server = store.ReadString(QString::fromUtf16(UpdateServerKey)))
        settings.server = QUrl(*server);
    if (const std::optional<QString> site = store.ReadString(QString::fromUtf16(UpdateWebSiteKey)))
        settings.webSite = QUrl(*site);
    if (const std::optional<QString> file =
            store.ReadString(QString::fromUtf16(UpdateTrustedCertificatesKey)))
        settings.trustedCertificatesFile = *file;
    return settings;
}

std::optional<QUrl> UpdateResourceUrl(const QUrl& server, const QString& path) {
    if (!IsHttps(server))
        return std::nullopt;
    QUrl url = server;
    QString base = url.path();
    while (base.endsWith(u'/'))
        base.chop(1);
    url.setPath(base + path);
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

QNetworkRequest UpdateRequest(const QUrl& url, const TUpdateSettings& settings) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(UpdateUserAgent));
    // The client itself refuses a step down from https; RefuseUnsafeRedirects stops anything else.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(settings.maximumRedirects);
    request.setTransferTimeout(settings.readTimeoutMilliseconds);
    // The answers are read as plain HTTP/1.1 bodies (length or chunked).
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    if (!settings.trustedCertificatesFile.isEmpty()) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.addCaCertificates(QSslCertificate::fromPath(settings.trustedCertificatesFile, QSsl::Pem));
        request.setSslConfiguration(ssl);
    }
    return request;
}

void RefuseUnsafeRedirects(QNetworkReply* reply) {
    QObject::connect(reply, &QNetworkReply::redirected, reply, [reply](const QUrl& target) {
        if (IsHttps(reply->url().resolved(target)))
            return;
        reply->setProperty(RefusedRedirectProperty, true);
        reply->abort();
    });
}

bool RedirectWasRefused(const QNetworkReply* reply) {
    return reply->property(RefusedRedirectProperty).toBool() ||
           reply->error() == QNetworkReply::InsecureRedirectError;
}

TUpdateCheck::TUpdateCheck(TUpdateSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), network_(std::make_unique<QNetworkAccessManager>()) {}

TUpdateCheck::~TUpdateCheck() {
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
    }
}

void TUpdateCheck::Start() {
    if (started_)
        return;
    started_ = true;
    Fetch(QString::fromUtf16(VersionResourcePath), &TUpdateCheck::VersionArrived);
}

void TUpdateCheck::Fetch(const QString& path, void (TUpdateCheck::*next)(const QByteArray&)) {
    const std::optional<QUrl> url = UpdateResourceUrl(settings_.server, path);
    if (!url) {
        // Finished still comes after Start has returned, as it does with a server.
        QMetaObject::invokeMethod(this, &TUpdateCheck::Finish, Qt::QueuedConnection);
        return;
    }
    QNetworkReply* reply = network_->get(UpdateRequest(*url, settings_));
    reply_ = reply;
    RefuseUnsafeRedirects(reply);
    connect(reply, &QNetworkReply::downloadProgress, reply, [this, reply](qint64 received, qint64) {
        if (received > settings_.maximumTextBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, next] {
        reply->deleteLater();
        reply_ = nullptr;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() != QNetworkReply::NoError || status != 200) {
            Finish();
            return;
        }
        (this->*next)(reply->readAll());
    });
}

void TUpdateCheck::VersionArrived(const QByteArray& body) {
    versionLines_ = SplitTextLines(body);
    Fetch(QString::fromUtf16(ChangesResourcePath), &TUpdateCheck::ChangesArrived);
}

void TUpdateCheck::ChangesArrived(const QByteArray& body) {
    offer_ = DecideUpdate(versionLines_, SplitTextLines(body));
    Finish();
}

void TUpdateCheck::Finish() {
    if (done_)
        return;
    done_ = true;
    Q_EMIT Finished();
}

TUpdateDownload::TUpdateDownload(TUpdateSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), network_(std::make_unique<QNetworkAccessManager>()) {}

TUpdateDownload::~TUpdateDownload() {
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
    }
}

void TUpdateDownload::Start(const TUpdatePackage& package, const QString& temporaryFolder) {
    if (running_)
        return;
    running_ = true;
    aborted_ = false;
    writeError_.clear();
    package_ = package;
    const std::optional<QUrl> url =
        UpdateResourceUrl(settings_.server, QString::fromUtf16(PackageFolderPath) + package.fileName);
    if (!url) {
        QMetaObject::invokeMethod(
            this,
            [this] { Fail(Translate(QStringLiteral("The update server's address is not a secure one."))); },
            Qt::QueuedConnection);
        return;
    }
    QDir().mkpath(temporaryFolder);
    // A private, unguessable name keeps other users from placing their own file where the package is
    // expected; the package's own name stays at the end for the installer.
    file_ = std::make_unique<QTemporaryFile>(
        QDir(temporaryFolder).filePath(QStringLiteral("update-XXXXXX-") + package.fileName));
    if (!file_->open()) {
        const QString reason = file_->errorString();
        QMetaObject::invokeMethod(
            this, [this, reason] { Fail(reason); }, Qt::QueuedConnection);
        return;
    }
    hash_ = std::make_unique<QCryptographicHash>(QCryptographicHash::Sha256);
    QNetworkReply* reply = network_->get(UpdateRequest(*url, settings_));
    reply_ = reply;
    RefuseUnsafeRedirects(reply);
    connect(reply, &QNetworkReply::readyRead, this, &TUpdateDownload::DataArrived);
    connect(reply, &QNetworkReply::downloadProgress, this, &TUpdateDownload::BytesArrived);
    connect(reply, &QNetworkReply::finished, this, &TUpdateDownload::TransferEnded);
}

void TUpdateDownload::Abort() {
    if (!running_ || !reply_)
        return;
    aborted_ = true;
    reply_->abort();
}

void TUpdateDownload::DataArrived() {
    if (!reply_ || !reply_->isOpen() || !file_ || !writeError_.isEmpty())
        return;
    const QByteArray data = reply_->readAll();
    // Redirect and error pages are not part of the package.
    const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 200)
        return;
    hash_->addData(data);
    if (file_->write(data) != data.size()) {
        writeError_ = file_->errorString();
        if (!reply_->isFinished())
            reply_->abort();
    }
}

void TUpdateDownload::BytesArrived(qint64 received, qint64 total) {
    if (!reply_)
        return;
    if (reply_->rawHeader("Transfer-Encoding").toLower().contains("chunked") || total <= 0)
        return;
    Q_EMIT Progress(static_cast<int>(received * 100 / total));
}

void TUpdateDownload::TransferEnded() {
    QNetworkReply* reply = reply_;
    if (!reply)
        return;
    DataArrived();
    if (reply_ != reply)
        return; // a failed write already ended the transfer
    reply_ = nullptr;
    reply->deleteLater();
    if (aborted_) {
        Fail(Translate(QStringLiteral("Download is cancelled. Please download manually.")));
        return;
    }
    if (!writeError_.isEmpty()) {
        Fail(writeError_);
        return;
    }
    if (RedirectWasRefused(reply)) {
        Fail(Translate(QStringLiteral("The server sent the download to an address that is not secure.")));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        Fail(reply->errorString());
        return;
    }
    if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200) {
        Fail(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
        return;
    }
    if (!file_->flush() || !QFile::exists(file_->fileName())) {
        Fail(Translate(QStringLiteral("Cannot find downloaded file.")));
        return;
    }
    if (hash_->result() != package_.sha256) {
        Fail(Translate(QStringLiteral("The downloaded file does not match its published SHA-256 checksum.")));
        return;
    }
    const QString path = file_->fileName();
    file_->setAutoRemove(false);
    file_->close();
    file_.reset();
    running_ = false;
    Q_EMIT Finished(path);
}

void TUpdateDownload::Fail(const QString& reason) {
    // The temporary file removes itself.
    file_.reset();
    hash_.reset();
    running_ = false;
    Q_EMIT Failed(reason);
}

} // namespace morvane
