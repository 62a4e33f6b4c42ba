#include "main_window_fixture.h"
#include "ui/options_window.h"
#include "ui/wizard/wizard_parts.h"

#include "fixtures/temp_home.h"
#include "i18n/catalogue_loader.h"
#include "i18n/translation.h"
#include "options/options.h"
#include "options/options_file.h"
#include "scripted_prompt.h"
#include "silent_windows.h"
#include "ui_test_support.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

class OptionsWindowTest : public test::MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        ASSERT_TRUE(QDir().mkpath(HomePath(u"temp"_s)));
        ASSERT_TRUE(QDir().mkpath(HomePath(u"logs"_s)));
        GlobalOptions().General.PathForTempFiles = HomePath(u"temp"_s);
        Window();
    }
};

// The Options command opens the four tabs with their captions; OK goes through the checks and the
// command takes the edited values over and saves them.
TEST_F(OptionsWindowTest, OptionsCommandShowsFourTabsAndOkTakesTheValues) {
    ASSERT_TRUE(window->ActionOptions->isEnabled());
    bool shown = false;
    test::OnNextModal<TfrmOptions>([&](TfrmOptions* w) {
        shown = true;
        EXPECT_EQ(w->windowTitle(), u" Options"_s);
        ASSERT_EQ(w->Tabs->count(), 4);
        const QStringList tabs = {w->Tabs->tabText(0), w->Tabs->tabText(1), w->Tabs->tabText(2),
                                  w->Tabs->tabText(3)};
        EXPECT_EQ(tabs, (QStringList{u"General"_s, u"Logging"_s, u"Backup "_s, u"Exclusions"_s}));
        EXPECT_EQ(w->Tabs->currentIndex(), 0);
        EXPECT_EQ(w->Button1->text(), u"Set Password..."_s);
        EXPECT_TRUE(w->CheckBox8->text().endsWith(u"(*.bmj, *.qkl)"_s));
        EXPECT_EQ(w->lbDirectories->text(), u"Exclude Folder:"_s);
        EXPECT_FALSE(w->ComboBox1->isVisibleTo(w));
        EXPECT_FALSE(w->Label5->isVisibleTo(w));
        EXPECT_EQ(w->cmbThen->count(), 2);
        EXPECT_EQ(w->Edit1->text(), HomePath(u"temp"_s));

        // The password controls follow the protection box; OK without a password is refused.
        EXPECT_FALSE(w->Button1->isEnabled());
        w->CheckBox2->setChecked(true);
        EXPECT_TRUE(w->Button1->isEnabled());
        EXPECT_EQ(w->Label1->text(), u"Password is not set"_s);
        w->btDone->click();
        EXPECT_TRUE(w->isVisible());
        test::OnNextModal<TfrmPassword>([](TfrmPassword* p) {
            QTest::keyClicks(p->Password, u"secret"_s);
            QTest::keyClicks(p->Confirmation, u"secret"_s);
            p->OK->click();
        });
        w->Button1->click();
        EXPECT_EQ(w->Label1->text(), u"Password is set"_s);

        w->Tabs->setCurrentIndex(1);
        w->SpinEdit1->setValue(-4); // no bounds
        w->memoDirectories->setPlainText(u"/a\n\n%anypath%/cache"_s);
        w->btDone->click(); // closes once the folders have been looked at
    });
    window->ActionOptions->trigger();
    ASSERT_TRUE(shown);
    EXPECT_EQ(prompt.asked, QStringList{u"Error: Please specify a password for configuration protection."_s});
    EXPECT_EQ(window->OptionsWindow()->Tabs->currentIndex(), 0);
    const TOptions& options = GlobalOptions();
    EXPECT_TRUE(options.General.ProtectConfigurationbyPassword);
    EXPECT_EQ(options.General.strProtectConfiguration_Password, u"secret"_s);
    EXPECT_EQ(options.Logging.MaxNumberOfLogsForEachJob, -4);
    EXPECT_EQ(options.ExcludedDirs, (QStringList{u"/a"_s, QString(), u"%anypath%/cache"_s}));
    TOptions loaded = DefaultOptions();
    ASSERT_TRUE(LoadOptions(loaded));
    EXPECT_EQ(loaded.General.strProtectConfiguration_Password, u"secret"_s);
}

// A refused OK keeps the window open; Cancel then leaves the options and the file alone.
TEST_F(OptionsWindowTest, CancelAfterARefusedOkChangesNothing) {
    bool shown = false;
    test::OnNextModal<TfrmOptions>([&](TfrmOptions* w) {
        shown = true;
        w->Tabs->setCurrentIndex(2);
        w->CheckBox7->setChecked(!w->CheckBox7->isChecked());
        w->Edit2->setText(w->Edit1->text());
        w->btDone->click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !prompt.asked.isEmpty(); }));
        EXPECT_TRUE(w->isVisible());
        w->btCancel->click();
    });
    window->ActionOptions->trigger();
    ASSERT_TRUE(shown);
    EXPECT_EQ(prompt.asked,
              QStringList{u"Error: Unable to set the same path for temporary files and log files."_s});
    EXPECT_TRUE(GlobalOptions().Processing.RemovePreviousBackupIfCancelled);
    EXPECT_EQ(GlobalOptions().Logging.PathForLogFiles, HomePath(u"logs"_s));
    EXPECT_FALSE(QFileInfo::exists(OptionsFilePath()));
    EXPECT_EQ(window->OptionsWindow()->Tabs->currentIndex(), 0);
}

// In each shipped language every caption of every tab gets the room it asks for.
TEST_F(OptionsWindowTest, NoCaptionIsCutOffInAnyLanguage) {
    QFile file(QStringLiteral(MORVANE_SOURCE_DIR "/data/transl.dt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    Catalogue().Table = ParseTranslationFile(file.readAll()).value();
    for (const auto& [index, code] : {std::pair{0, u"en"_s}, {1, u"de"_s}, {2, u"fr"_s}}) {
        Catalogue().CurrentLanguageIndex = index;
        Catalogue().CurrentLanguageCode = code;
        QStringList cut;
        test::OnNextModal<TfrmOptions>([&](TfrmOptions* w) {
            for (int tab = 0; tab < w->Tabs->count(); ++tab) {
                w->Tabs->setCurrentIndex(tab);
                QApplication::processEvents();
                for (QWidget* control : w->Tabs->widget(tab)->findChildren<QWidget*>()) {
                    const bool captioned =
                        qobject_cast<QLabel*>(control) || qobject_cast<QAbstractButton*>(control);
                    if (captioned && control->isVisible() && control->width() < control->sizeHint().width())
                        cut.append(control->objectName() + u' ' + QString::number(control->width()) + u'<' +
                                   QString::number(control->sizeHint().width()));
                }
            }
            w->btCancel->click();
        });
        window->ActionOptions->trigger();
        EXPECT_TRUE(cut.isEmpty()) << code.toStdString() << ": " << cut.join(u", "_s).toStdString();
    }
    Catalogue() = TranslationCatalogue{};
}

} // namespace
} // namespace morvane
