#include "ui/restore/restore_list.h"

#include "i18n/translation.h"
#include "ui/ui_thread.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace morvane {

TfrmRestoreList::TfrmRestoreList(QWidget* parent)
    : QDialog(parent), panel3_(new QWidget(this)), label_(new QLabel(panel3_)),
      stack_(new QStackedWidget(this)), list_(new QListWidget(stack_)), loading_(new QLabel(stack_)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
    setObjectName(QStringLiteral("frmRestoreList"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(440, 380);

    auto* header = new QHBoxLayout(panel3_);
    header->setContentsMargins(0, 0, 0, 0);
    header->addWidget(label_);
    loading_->setAlignment(Qt::AlignCenter);
    loading_->setAutoFillBackground(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    stack_->addWidget(list_);
    stack_->addWidget(loading_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel3_);
    layout->addWidget(stack_, 1);
    layout->addWidget(buttons_);

    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::itemSelectionChanged, this,
            [this] { OkButton()->setEnabled(!IsLoading() && !list_->selectedItems().isEmpty()); });
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] {
        if (OkButton()->isEnabled())
            accept();
    });
    OkButton()->setEnabled(false);
    Retranslate();
}

QPushButton* TfrmRestoreList::OkButton() const {
    return buttons_->button(QDialogButtonBox::Ok);
}
QPushButton* TfrmRestoreList::CancelButton() const {
    return buttons_->button(QDialogButtonBox::Cancel);
}
bool TfrmRestoreList::IsLoading() const {
    return stack_->currentWidget() == loading_;
}

void TfrmRestoreList::Retranslate() {
    setWindowTitle(u' ' + Translate(QStringLiteral("Restore")));
    label_->setText(Translate(QStringLiteral("Please choose a restore point:")));
    loading_->setText(Translate(QStringLiteral("Loading the list of backups...")));
    OkButton()->setText(Translate(QStringLiteral("OK")));
    CancelButton()->setText(Translate(QStringLiteral("Cancel")));
}

void TfrmRestoreList::SetLoading(bool loading) {
    stack_->setCurrentWidget(loading ? loading_ : static_cast<QWidget*>(list_));
    panel3_->setVisible(!loading);
    OkButton()->setEnabled(!loading && !list_->selectedItems().isEmpty());
    if (loading != busyCursor_) {
        busyCursor_ = loading;
        if (loading)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    }
}

void TfrmRestoreList::ShowLoading() {
    Retranslate();
    list_->clear();
    SetLoading(true);
    // Modal from its first showing, so the choice that follows the loading runs in the same window:
    // hiding it and showing it again to make it modal could leave it unmapped on a busy display.
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
}

std::optional<int> TfrmRestoreList::Choose(const QStringList& shownNames) {
    Retranslate();
    list_->clear();
    list_->addItems(shownNames);
    SetLoading(false);
    // The list takes the keyboard on the first point, unselected: the loading state had no field to
    // focus, and a window shown again keeps whatever it had then.
    list_->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    list_->setFocus();
    activateWindow();
    if (exec() != QDialog::Accepted || list_->currentRow() < 0 || list_->selectedItems().isEmpty())
        return std::nullopt;
    return list_->currentRow();
}

void TfrmRestoreList::CloseChooser() {
    if (isVisible())
        hide();
    SetLoading(false);
}

void TfrmRestoreList::done(int result) {
    SetLoading(false);
    QDialog::done(result);
}

// A restore may run its storage work on a worker; the windows are always driven from the interface
// thread.
std::optional<QString> TWidgetRestoreDialogs::ChooseOutputDirectory(const QString& title) {
    return RunOnUiThread([&] { return prompt_.ChooseFolder(title, QDir::homePath()); });
}

void TWidgetRestoreDialogs::ShowRestorePointsLoading() {
    RunOnUiThread([&] { chooser_.ShowLoading(); });
}

void TWidgetRestoreDialogs::CloseRestorePoints() {
    RunOnUiThread([&] { chooser_.CloseChooser(); });
}

std::optional<int> TWidgetRestoreDialogs::ChooseRestorePoint(const QStringList& shownNames) {
    return RunOnUiThread([&] { return chooser_.Choose(shownNames); });
}

void TWidgetRestoreDialogs::ShowErrorMessage(const QString& text) {
    RunOnUiThread([&] { prompt_.ShowError(text); });
}

QString TWidgetRestoreDialogs::AskPassword(const QString& caption, const QString& prompt) {
    return RunOnUiThread(
        [&] { return prompt_.AskText(caption, prompt, QString(), true).value_or(QString()); });
}

} // namespace morvane
