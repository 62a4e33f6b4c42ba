#include "control/new_version.h"

#include "control/user_prompt.h"
#include "i18n/translation.h"

namespace morvane {

TNewVersionController::TNewVersionController(TUpdateOffer offer, TUpdateSettings settings,
                                             QString temporaryFolder, IUserPrompt& prompt,
                                             IDesktopOpener& opener, QObject* parent)
    : QObject(parent), offer_(std::move(offer)), settings_(std::move(settings)),
      temporaryFolder_(std::move(temporaryFolder)), prompt_(prompt), opener_(opener),
      mustUpdate_(offer_.MustUpdate) {}

TNewVersionController::~TNewVersionController() = default;

bool TNewVersionController::Downloading() const {
    return download_ && download_->Running();
}

void TNewVersionController::UpdateNow() {
    if (closed_ || download_)
        return;
    // Whatever happens next, closing ends the program.
    mustUpdate_ = true;
    if (!offer_.Package) {
        // No package for this system on the server: the user downloads from the web site.
        opener_.Open(settings_.webSite);
        Close();
        return;
    }
    if (view_)
        view_->ShowDownloading();
    download_ = std::make_unique<TUpdateDownload>(settings_);
    connect(download_.get(), &TUpdateDownload::Progress, this, [this](int percent) {
        if (view_)
            view_->SetProgress(percent);
    });
    connect(download_.get(), &TUpdateDownload::Finished, this, &TNewVersionController::DownloadFinished);
    connect(download_.get(), &TUpdateDownload::Failed, this, &TNewVersionController::DownloadFailed);
    download_->Start(*offer_.Package, temporaryFolder_);
}

void TNewVersionController::CancelClicked() {
    if (closed_)
        return;
    if (Downloading()) {
        download_->Abort();
        return;
    }
    Close();
}

void TNewVersionController::DownloadFinished(const QString& path) {
    if (!opener_.Open(QUrl::fromLocalFile(path))) {
        DownloadFailed(Translate(QStringLiteral("No program to install the downloaded package was found.")));
        return;
    }
    Close();
}

void TNewVersionController::DownloadFailed(const QString& reason) {
    prompt_.ShowError(Translate(QStringLiteral("Failed to download update.")) + QStringLiteral("\r\n\r\n") +
                      reason);
    opener_.Open(settings_.webSite);
    Close();
}

void TNewVersionController::Close() {
    if (closed_)
        return;
    closed_ = true;
    if (view_)
        view_->CloseWindow();
    Q_EMIT Closed(!mustUpdate_);
}

} // namespace morvane
