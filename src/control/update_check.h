#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <optional>

class QCryptographicHash;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QTemporaryFile;

namespace morvane {

class SettingsStore;

// This program's version as the server writes versions: version × 10.
inline constexpr int ProgramVersionNumber = 23;

// The server's resources, below its base address.
inline constexpr char16_t VersionResourcePath[] = u"/download/version/morvanebackup-version.html";
inline constexpr char16_t ChangesResourcePath[] = u"/download/version/morvanebackup-changes.html";
inline constexpr char16_t PackageFolderPath[] = u"/download/";
inline constexpr char UpdateUserAgent[] = "Mozilla/4.0 (compatible; MyApp)";

// Settings-store keys that replace the built-in addresses (private mirrors, tests) and add
// certificates the client trusts besides the system's (a PEM file).
inline constexpr char16_t UpdateServerKey[] = u"UpdateServer";
inline constexpr char16_t UpdateWebSiteKey[] = u"UpdateWebSite";
inline constexpr char16_t UpdateTrustedCertificatesKey[] = u"UpdateTrustedCertificates";

// The first line of the version resource: "latest/minimum", each a version × 10.
struct TVersionLine {
    int latest = 0;
    int minimum = 0;
    QString latestText; // the digits before "/", for showing
};

// Nothing unless both sides of the first "/" are plain decimal numbers ("2.4/2.3" is refused).
std::optional<TVersionLine> ParseVersionLine(const QString& line);

// "24" shows as "2.4", "123" as "12.3": a "." before the last character.
QString VersionDisplay(const QString& number);

// The package for this system named on the version resource's second line: "<file name> <sha-256>".
struct TUpdatePackage {
    QString fileName;
    QByteArray sha256; // 32 raw bytes
};

// Nothing unless the name is a plain file name (no folders, no leading dot) and the digest 64 hex digits.
std::optional<TUpdatePackage> ParsePackageLine(const QString& line);

// What the "New Version" window offers.
struct TUpdateOffer {
    bool MustUpdate = false;
    QString Message;
    QString LatestDisplay;
    std::optional<TUpdatePackage> Package; // nothing: the web site is opened instead of a download
};

// The decision over the two resources; nothing when no newer version exists or the version line is
// not understood.
std::optional<TUpdateOffer> DecideUpdate(const QStringList& versionLines, const QStringList& changesLines,
                                         int ownVersion = ProgramVersionNumber);

struct TUpdateSettings {
    QUrl server;  // base address, https only
    QUrl webSite; // opened when no download can be made
    QString trustedCertificatesFile;
    int readTimeoutMilliseconds = 10000;
    int maximumRedirects = 10;
    qint64 maximumTextBytes = 1 << 20; // the two text resources are small; more is not an answer
};

// The built-in addresses, replaced by the store's values where it has them.
TUpdateSettings LoadUpdateSettings(const SettingsStore& store);

// The resource's address below the base; nothing unless the base is an https address.
std::optional<QUrl> UpdateResourceUrl(const QUrl& server, const QString& path);

// A GET with the update's client settings: user agent, read timeout, redirect limit, HTTP/1.1, and
// the extra trusted certificates.
QNetworkRequest UpdateRequest(const QUrl& url, const TUpdateSettings& settings);

// Follows only redirects to https addresses; any other one aborts the transfer and is remembered on
// the reply (RedirectWasRefused).
void RefuseUnsafeRedirects(QNetworkReply* reply);
bool RedirectWasRefused(const QNetworkReply* reply);

// Asks the server whether a newer version exists, without waiting: Start returns at once and
// Finished follows when the answer is in. Every failure is silent (no offer).
class TUpdateCheck : public QObject {
    Q_OBJECT
public:
    explicit TUpdateCheck(TUpdateSettings settings, QObject* parent = nullptr);
    ~TUpdateCheck() override;

    void Start();
    bool Done() const { return done_; }
    const std::optional<TUpdateOffer>& Offer() const { return offer_; }
    const TUpdateSettings& Settings() const { return settings_; }

Q_SIGNALS:
    void Finished();

private:
    void Fetch(const QString& path, void (TUpdateCheck::*next)(const QByteArray&));
    void VersionArrived(const QByteArray& body);
    void ChangesArrived(const QByteArray& body);
    void Finish();

    TUpdateSettings settings_;
    std::unique_ptr<QNetworkAccessManager> network_;
    QPointer<QNetworkReply> reply_;
    QStringList versionLines_;
    std::optional<TUpdateOffer> offer_;
    bool started_ = false;
    bool done_ = false;
};

// Downloads the package into the temporary folder under a private name and checks it against its
// digest. A failed, aborted or mismatching download leaves no file behind.
class TUpdateDownload : public QObject {
    Q_OBJECT
public:
    explicit TUpdateDownload(TUpdateSettings settings, QObject* parent = nullptr);
    ~TUpdateDownload() override;

    void Start(const TUpdatePackage& package, const QString& temporaryFolder);
    // Stops the transfer; Failed follows with the cancelled text.
    void Abort();
    bool Running() const { return running_; }

Q_SIGNALS:
    // Percent of the announced length; not sent for chunked answers or an unknown length.
    void Progress(int percent);
    void Finished(const QString& path);
    void Failed(const QString& reason);

private:
    void DataArrived();
    void BytesArrived(qint64 received, qint64 total);
    void TransferEnded();
    void Fail(const QString& reason);

    TUpdateSettings settings_;
    std::unique_ptr<QNetworkAccessManager> network_;
    QPointer<QNetworkReply> reply_;
    std::unique_ptr<QTemporaryFile> file_;
    std::unique_ptr<QCryptographicHash> hash_;
    TUpdatePackage package_;
    QString writeError_;
    bool running_ = false;
    bool aborted_ = false;
};

} // namespace morvane
