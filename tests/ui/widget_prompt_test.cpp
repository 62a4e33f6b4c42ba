#include "ui/application_icon.h"
#include "ui/widget_prompt.h"

#include "fixtures/temp_home.h"
#include "i18n/catalogue_loader.h"
#include "ui_test_support.h"

#include <QAbstractButton>
#include <QFile>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

class WidgetPromptTest : public testing::TempHomeTest {
protected:
    static void UseGerman() {
        QFile file(QStringLiteral(MORVANE_SOURCE_DIR "/data/transl.dt"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        Catalogue().Table = ParseTranslationFile(file.readAll()).value();
        Catalogue().CurrentLanguageIndex = 1;
    }
    static QStringList ButtonTexts(QMessageBox* box) {
        QStringList texts;
        for (QAbstractButton* button : box->buttons())
            texts << button->text();
        texts.sort();
        return texts;
    }
    TWidgetPrompt prompt;
};

TEST_F(WidgetPromptTest, ConfirmShowsTranslatedCaptionAndButtons) {
    UseGerman();
    test::OnNextModal<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), u"Bestätigen");
        EXPECT_EQ(box->text(), u"Remove?");
        EXPECT_EQ(ButtonTexts(box), QStringList({u"Ja"_s, u"Nein"_s}));
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_TRUE(prompt.Confirm(u"Remove?"_s));
    test::OnNextModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
    EXPECT_FALSE(prompt.Confirm(u"Remove?"_s));
}

struct BoxCase {
    std::function<void(TWidgetPrompt&)> show;
    QString caption;
    QMessageBox::Icon icon;
};

TEST_F(WidgetPromptTest, MessageKindsGiveCaptionAndIcon) {
    const BoxCase cases[] = {
        {[](TWidgetPrompt& p) { p.ShowError(u"m"_s); }, u"Error"_s, QMessageBox::Critical},
        {[](TWidgetPrompt& p) { p.ShowInformation(u"m"_s); }, u"Information"_s, QMessageBox::Information},
        {[](TWidgetPrompt& p) { p.ShowMessage(u"m"_s); }, u"Morvane Backup"_s, QMessageBox::NoIcon},
    };
    for (const BoxCase& c : cases) {
        test::OnNextModal<QMessageBox>([&c](QMessageBox* box) {
            EXPECT_EQ(box->windowTitle(), c.caption);
            EXPECT_EQ(box->icon(), c.icon);
            EXPECT_EQ(ButtonTexts(box), QStringList{u"OK"_s});
            box->button(QMessageBox::Ok)->click();
        });
        c.show(prompt);
    }
}

TEST_F(WidgetPromptTest, TextAndItemQuestions) {
    test::OnNextModal<QInputDialog>([](QInputDialog* dialog) {
        EXPECT_EQ(dialog->textEchoMode(), QLineEdit::Password);
        EXPECT_EQ(dialog->okButtonText(), u"OK");
        dialog->setTextValue(u" typed "_s);
        dialog->accept();
    });
    EXPECT_EQ(prompt.AskText(u"Enter the Password"_s, u"Password:"_s, QString(), true), u" typed ");

    test::OnNextModal<QInputDialog>([](QInputDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(prompt.AskText(u"Rename Job"_s, u"New job name:"_s, u"old"_s, false), std::nullopt);

    test::OnNextModal<QInputDialog>([](QInputDialog* dialog) {
        dialog->setTextValue(u"b"_s);
        dialog->accept();
    });
    EXPECT_EQ(prompt.ChooseItem(u"t"_s, u"p"_s, {u"a"_s, u"b"_s}), 1);
}

TEST_F(WidgetPromptTest, ApplicationIconHasEveryUsualSize) {
    const QIcon icon = ApplicationIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 32, 48, 256}) {
        const QPixmap pixmap = icon.pixmap(size, size);
        EXPECT_EQ(pixmap.size(), QSize(size, size)) << size;
    }
}

} // namespace
} // namespace morvane
