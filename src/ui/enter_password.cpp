#include "ui/enter_password.h"

#include "i18n/translation.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace morvane {

TfrmEnterPassword::TfrmEnterPassword(QWidget* parent)
    : QDialog(parent), caption_(new QLabel(this)), edit_(new QLineEdit(this)),
      showPassword_(new QCheckBox(this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
    setObjectName(QStringLiteral("frmEnterPassword"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    edit_->setMinimumWidth(260);
    caption_->setBuddy(edit_);

    auto* form = new QFormLayout;
    form->addRow(caption_, edit_);
    form->addRow(QString(), showPassword_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons_);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // OK is the default button, so Enter anywhere in the window confirms.
    buttons_->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(showPassword_, &QCheckBox::toggled, this,
            [this](bool shown) { edit_->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password); });
    Reset();
}

void TfrmEnterPassword::Reset() {
    setWindowTitle(u' ' + Translate(QStringLiteral("Enter Password")));
    caption_->setText(Translate(QStringLiteral("Password:")));
    showPassword_->setText(Translate(QStringLiteral("Show password")));
    buttons_->button(QDialogButtonBox::Ok)->setText(Translate(QStringLiteral("OK")));
    buttons_->button(QDialogButtonBox::Cancel)->setText(Translate(QStringLiteral("Cancel")));
    edit_->clear();
    showPassword_->setChecked(false);
    edit_->setEchoMode(QLineEdit::Password);
    edit_->setFocus();
}

std::optional<QString> TfrmEnterPassword::EnterPassword() {
    Reset();
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return edit_->text();
}

} // namespace morvane
