#include "ui/new_version_window.h"

#include "i18n/translation.h"
#include "scripted_prompt.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

class RecordingOpener final : public IDesktopOpener {
public:
    bool Open(const QUrl& url) override {
        opened << url;
        return true;
    }
    QList<QUrl> opened;
};

class NewVersionWindowTest : public ::testing::Test {
protected:
    TNewVersionController& Controller(bool mustUpdate, bool withPackage) {
        TUpdateOffer offer;
        offer.MustUpdate = mustUpdate;
        offer.Message = u"The new version 2.4 is available\r\n\r\nWhat's new:\r\nFaster copies\r\n"_s;
        if (withPackage)
            offer.Package = TUpdatePackage{u"morvane-backup_2.4_amd64.deb"_s, QByteArray(32, 'x')};
        TUpdateSettings settings;
        // Nothing listens here: a started download stays pending while the test looks.
        settings.server = QUrl(u"https://127.0.0.1:9"_s);
        settings.webSite = QUrl(u"https://www.example.org/"_s);
        controller = std::make_unique<TNewVersionController>(offer, settings, temp.path(), prompt, opener);
        QObject::connect(controller.get(), &TNewVersionController::Closed,
                         [this](bool goOn) { closed = goOn; });
        return *controller;
    }

    QTemporaryDir temp;
    test::ScriptedPrompt prompt;
    RecordingOpener opener;
    std::unique_ptr<TNewVersionController> controller;
    std::optional<bool> closed;
};

TEST_F(NewVersionWindowTest, ShowsTheOfferAndItsButtons) {
    TfrmNewVersion window(Controller(false, true));
    window.show();
    EXPECT_EQ(window.windowTitle(), u" Morvane Backup"_s);
    EXPECT_EQ(window.MessageLabel()->text(),
              u"The new version 2.4 is available\n\nWhat's new:\nFaster copies"_s);
    EXPECT_EQ(window.UpdateNowButton()->text(), u"Update Now"_s);
    EXPECT_EQ(window.CancelButton()->text(), u"Cancel"_s);
    EXPECT_FALSE(window.ProgressBar()->isVisible());

    window.UpdateNowButton()->click();
    EXPECT_EQ(window.CancelButton()->text(), u"Abort"_s);
    EXPECT_FALSE(window.UpdateNowButton()->isEnabled());
    EXPECT_TRUE(window.ProgressBar()->isVisible());
    EXPECT_EQ(window.ProgressBar()->value(), 0);

    // "Abort" ends the download: the error, the web site, and the window closes for good.
    window.CancelButton()->click();
    ASSERT_TRUE(closed);
    EXPECT_FALSE(*closed);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(
        prompt.asked,
        QStringList{
            u"Error: Failed to download update.\r\n\r\nDownload is cancelled. Please download manually."_s});
    EXPECT_EQ(opener.opened, QList<QUrl>{QUrl(u"https://www.example.org/"_s)});
}

TEST_F(NewVersionWindowTest, CloseBoxIsCancel) {
    for (const bool forced : {false, true}) {
        closed.reset();
        TfrmNewVersion window(Controller(forced, true));
        window.show();
        window.close();
        ASSERT_TRUE(closed);
        EXPECT_EQ(*closed, !forced);
        EXPECT_FALSE(window.isVisible());
    }
    EXPECT_TRUE(opener.opened.isEmpty());
}

} // namespace
} // namespace morvane
