#pragma once

#include "control/update_check.h"

#include <QObject>
#include <QUrl>

#include <memory>

namespace morvane {

class IUserPrompt;

// The desktop's "open" service: a file goes to the program registered for its type (a package to the
// package installer), an address to the browser.
class IDesktopOpener {
public:
    virtual ~IDesktopOpener() = default;
    virtual bool Open(const QUrl& url) = 0;
};

// The "New Version" window as its controller drives it.
class INewVersionView {
public:
    virtual ~INewVersionView() = default;
    // "Cancel" becomes "Abort", "Update Now" is disabled, the bar shows at 0.
    virtual void ShowDownloading() = 0;
    virtual void SetProgress(int percent) = 0;
    virtual void CloseWindow() = 0;
};

// What the "New Version" window does: the offer, "Update Now" with its download, "Cancel"/"Abort" and
// whether the program goes on once the window is closed.
class TNewVersionController : public QObject {
    Q_OBJECT
public:
    TNewVersionController(TUpdateOffer offer, TUpdateSettings settings, QString temporaryFolder,
                          IUserPrompt& prompt, IDesktopOpener& opener, QObject* parent = nullptr);
    ~TNewVersionController() override;

    void SetView(INewVersionView* view) { view_ = view; }

    const QString& Message() const { return offer_.Message; }
    bool MustUpdate() const { return mustUpdate_; }
    bool Downloading() const;

    void UpdateNow();
    // The cancel button, the close box and Escape: aborts a running download, else closes.
    void CancelClicked();

Q_SIGNALS:
    // The window closed; the program ends when goOn is false.
    void Closed(bool goOn);

private:
    void DownloadFinished(const QString& path);
    void DownloadFailed(const QString& reason);
    void Close();

    TUpdateOffer offer_;
    TUpdateSettings settings_;
    QString temporaryFolder_;
    IUserPrompt& prompt_;
    IDesktopOpener& opener_;
    INewVersionView* view_ = nullptr;
    std::unique_ptr<TUpdateDownload> download_;
    bool mustUpdate_ = false;
    bool closed_ = false;
};

} // namespace morvane
