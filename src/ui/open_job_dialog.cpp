#include "ui/open_job_dialog.h"

#include "control/user_prompt.h"
#include "i18n/translation.h"
#include "platform/program_state.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace morvane {

TfrmOpenJobDialog::TfrmOpenJobDialog(IUserPrompt& prompt, QWidget* parent)
    : QDialog(parent), prompt_(prompt), explanation_(new QLabel(this)), pathCaption_(new QLabel(this)),
      path_(new QLineEdit(this)), browse_(new QPushButton(this)), userCaption_(new QLabel(this)),
      user_(new QLineEdit(this)), passwordCaption_(new QLabel(this)), password_(new QLineEdit(this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
    setObjectName(QStringLiteral("frmOpenJobDialog"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    explanation_->setWordWrap(true);
    path_->setObjectName(QStringLiteral("edLocalExtDiskPath"));
    path_->setMinimumWidth(380);
    password_->setEchoMode(QLineEdit::Password);
    pathCaption_->setBuddy(path_);
    userCaption_->setBuddy(user_);
    passwordCaption_->setBuddy(password_);

    auto* grid = new QGridLayout;
    grid->addWidget(pathCaption_, 0, 0);
    grid->addWidget(path_, 0, 1);
    grid->addWidget(browse_, 0, 2);
    grid->addWidget(userCaption_, 1, 0);
    grid->addWidget(user_, 1, 1);
    grid->addWidget(passwordCaption_, 2, 0);
    grid->addWidget(password_, 2, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explanation_);
    layout->addLayout(grid);
    layout->addWidget(buttons_);

    ImportButton()->setDefault(true);
    connect(browse_, &QPushButton::clicked, this, &TfrmOpenJobDialog::Browse);
    connect(buttons_, &QDialogButtonBox::accepted, this, &TfrmOpenJobDialog::Confirm);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Reset(QString());
}

QPushButton* TfrmOpenJobDialog::ImportButton() const {
    return buttons_->button(QDialogButtonBox::Ok);
}

void TfrmOpenJobDialog::Reset(const QString& defaultPath) {
    setWindowTitle(Translate(QStringLiteral("Import")));
    explanation_->setText(
        FormatText(Translate(QStringLiteral("You can import job directly from the storage.")),
                   {QString::fromUtf16(ApplicationTitle)}) +
        u' ' +
        FormatText(
            Translate(QStringLiteral("Click \"Browse...\" and find the job file (%s) on your storage.")),
            {QStringLiteral("*.bmj")}));
    pathCaption_->setText(Translate(QStringLiteral("Job File:")));
    browse_->setText(Translate(QStringLiteral("Browse...")));
    userCaption_->setText(Translate(QStringLiteral("User name:")));
    passwordCaption_->setText(Translate(QStringLiteral("Password:")));
    ImportButton()->setText(Translate(QStringLiteral("Import")));
    buttons_->button(QDialogButtonBox::Cancel)->setText(Translate(QStringLiteral("Cancel")));
    path_->setText(defaultPath);
    user_->clear();
    password_->clear();
    path_->setFocus();
}

std::optional<TImportChoice> TfrmOpenJobDialog::AskImport(const QString& defaultPath) {
    Reset(defaultPath);
    const bool confirmed = exec() == QDialog::Accepted;
    TImportChoice choice{path_->text(), user_->text().trimmed(), password_->text()};
    // The password does not stay in the window until its next showing.
    password_->clear();
    if (!confirmed)
        return std::nullopt;
    return choice;
}

void TfrmOpenJobDialog::Browse() {
    const QString start = path_->text().isEmpty() ? QString() : QFileInfo(path_->text()).absolutePath();
    const QString chosen =
        chooser_ ? chooser_(start)
                 : QFileDialog::getOpenFileName(this, QString(), start, QStringLiteral("*.bmj (*.bmj)"));
    if (!chosen.isEmpty())
        path_->setText(chosen);
}

void TfrmOpenJobDialog::Confirm() {
    if (!ImportPathAccepted(path_->text())) {
        prompt_.ShowError(ImportPathRefusal());
        return;
    }
    accept();
}

} // namespace morvane
