#include "ui/options_window.h"

#include "i18n/translation.h"
#include "ui/wizard/wizard_parts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <limits>

namespace morvane {

namespace {

QSpinBox* UnboundedSpinBox(QWidget* parent, const char* name) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    box->setMinimumWidth(90);
    return box;
}

template <typename Widget> Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// Keeps a combo box's choice while its items are replaced by translated ones.
void RefillCombo(QComboBox* box, const QStringList& items) {
    const int index = box->currentIndex();
    box->clear();
    box->addItems(items);
    box->setCurrentIndex(index);
}

} // namespace

QLabel* TfrmOptions::AddHeader(QWidget* page) {
    auto* header = new QLabel(page);
    QFont font = header->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.15);
    header->setFont(font);
    headers_.append(header);
    return header;
}

TfrmOptions::TfrmOptions(IUserPrompt& prompt, QWidget* parent)
    : QDialog(parent), PasswordWindow(new TfrmPassword(prompt, this)) {
    setObjectName(QStringLiteral("frmOptions"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    Tabs = Named(new QTabWidget(this), "PageControl1");
    Tabs->addTab(CreateGeneralTab(), QString());
    Tabs->addTab(CreateLoggingTab(), QString());
    Tabs->addTab(CreateBackupTab(), QString());
    Tabs->addTab(CreateExclusionsTab(), QString());

    btDone = Named(new QPushButton(this), "btDone");
    btCancel = Named(new QPushButton(this), "btCancel");
    btDone->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btDone);
    buttons->addWidget(btCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Tabs, 1);
    layout->addLayout(buttons);

    connect(btDone, &QPushButton::clicked, this, [this] {
        if (!dialog_)
            return;
        StoreControls();
        dialog_->Ok();
    });
    connect(btCancel, &QPushButton::clicked, this, &TfrmOptions::reject);
    connect(CheckBox2, &QCheckBox::toggled, this, [this](bool checked) {
        if (dialog_)
            dialog_->Fields.ProtectByPassword = checked;
        ApplyPasswordEnabling();
    });
    connect(Button1, &QPushButton::clicked, this, [this] {
        if (!dialog_)
            return;
        PasswordWindow->ChangePassword(dialog_->ProtectionPassword);
        Label1->setText(dialog_->PasswordStatusText());
    });
    connect(Button2, &QPushButton::clicked, this, [this] {
        if (dialog_ && dialog_->ChooseTempFolder())
            Edit1->setText(dialog_->Fields.PathForTempFiles);
    });
    connect(Button3, &QPushButton::clicked, this, [this] {
        if (dialog_ && dialog_->ChooseLogFolder())
            Edit2->setText(dialog_->Fields.PathForLogFiles);
    });
}

QWidget* TfrmOptions::CreateGeneralTab() {
    auto* page = Named(new QWidget, "tsGeneral");
    CheckBox1 = Named(new QCheckBox(page), "CheckBox1");
    CheckBox3 = Named(new QCheckBox(page), "CheckBox3");
    CheckBox9 = Named(new QCheckBox(page), "CheckBox9");
    CheckBox2 = Named(new QCheckBox(page), "CheckBox2");
    Button1 = Named(new QPushButton(page), "Button1");
    Label1 = Named(new QLabel(page), "Label1");
    Label5 = Named(new QLabel(page), "Label5");
    ComboBox1 = Named(new QComboBox(page), "ComboBox1");
    label6 = Named(new QLabel(page), "label6");
    Edit1 = Named(new QLineEdit(page), "Edit1");
    Button2 = Named(new QPushButton(page), "Button2");
    label6->setBuddy(Edit1);
    Label5->setBuddy(ComboBox1);
    // The priority is kept and applied, but not offered here.
    Label5->hide();
    ComboBox1->hide();

    QLabel* header = AddHeader(page);
    auto* password = new QHBoxLayout;
    // Under the protection box's text, to show that it belongs to it.
    password->addSpacing(24);
    password->addWidget(Button1);
    password->addWidget(Label1, 1);
    auto* priority = new QHBoxLayout;
    priority->addWidget(Label5);
    priority->addWidget(ComboBox1);
    priority->addStretch(1);
    auto* path = new QHBoxLayout;
    path->addWidget(Edit1, 1);
    path->addWidget(Button2);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(header);
    layout->addSpacing(6);
    layout->addWidget(CheckBox1);
    layout->addWidget(CheckBox3);
    layout->addWidget(CheckBox9);
    layout->addWidget(CheckBox2);
    layout->addLayout(password);
    layout->addLayout(priority);
    layout->addSpacing(10);
    layout->addWidget(label6);
    layout->addLayout(path);
    layout->addStretch(1);
    return page;
}

QWidget* TfrmOptions::CreateLoggingTab() {
    auto* page = Named(new QWidget, "tsLogging");
    Label2 = Named(new QLabel(page), "Label2");
    SpinEdit1 = UnboundedSpinBox(page, "SpinEdit1");
    Label3 = Named(new QLabel(page), "Label3");
    SpinEdit2 = UnboundedSpinBox(page, "SpinEdit2");
    Label4 = Named(new QLabel(page), "Label4");
    SpinEdit3 = UnboundedSpinBox(page, "SpinEdit3");
    CheckBox8 = Named(new QCheckBox(page), "CheckBox8");
    Label7 = Named(new QLabel(page), "Label7");
    Edit2 = Named(new QLineEdit(page), "Edit2");
    Button3 = Named(new QPushButton(page), "Button3");
    Label2->setBuddy(SpinEdit1);
    Label3->setBuddy(SpinEdit2);
    Label4->setBuddy(SpinEdit3);
    Label7->setBuddy(Edit2);

    QLabel* header = AddHeader(page);
    auto* numbers = new QGridLayout;
    numbers->addWidget(Label2, 0, 0);
    numbers->addWidget(SpinEdit1, 0, 1);
    numbers->addWidget(Label3, 1, 0);
    numbers->addWidget(SpinEdit2, 1, 1);
    numbers->addWidget(Label4, 2, 0);
    numbers->addWidget(SpinEdit3, 2, 1);
    numbers->setColumnStretch(2, 1);
    auto* path = new QHBoxLayout;
    path->addWidget(Edit2, 1);
    path->addWidget(Button3);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(header);
    layout->addSpacing(6);
    layout->addLayout(numbers);
    layout->addWidget(CheckBox8);
    layout->addSpacing(10);
    layout->addWidget(Label7);
    layout->addLayout(path);
    layout->addStretch(1);
    return page;
}

QWidget* TfrmOptions::CreateBackupTab() {
    auto* page = Named(new QWidget, "tsBackup");
    CheckBox7 = Named(new QCheckBox(page), "CheckBox7");
    CheckBox09 = Named(new QCheckBox(page), "CheckBox09");
    CheckBox6 = Named(new QCheckBox(page), "CheckBox6");
    Label8 = Named(new QLabel(page), "Label8");
    Label9 = Named(new QLabel(page), "Label9");
    SpinEdit4 = UnboundedSpinBox(page, "SpinEdit4");
    Label10 = Named(new QLabel(page), "Label10");
    Label12 = Named(new QLabel(page), "Label12");
    SpinEditDelay = UnboundedSpinBox(page, "SpinEditDelay");
    Label11 = Named(new QLabel(page), "Label11");
    Label29 = Named(new QLabel(page), "Label29");
    cmbThen = Named(new QComboBox(page), "cmbThen");
    Label9->setBuddy(SpinEdit4);
    Label12->setBuddy(SpinEditDelay);
    Label29->setBuddy(cmbThen);

    QLabel* header = AddHeader(page);
    // The three answers to "if destination is not available", indented under it.
    auto* grid = new QGridLayout;
    grid->setColumnMinimumWidth(0, 16);
    grid->addWidget(Label9, 0, 1);
    grid->addWidget(SpinEdit4, 0, 2);
    grid->addWidget(Label10, 0, 3);
    grid->addWidget(Label12, 1, 1);
    grid->addWidget(SpinEditDelay, 1, 2);
    grid->addWidget(Label11, 1, 3);
    grid->addWidget(Label29, 2, 1);
    grid->addWidget(cmbThen, 2, 2, 1, 3, Qt::AlignLeft);
    grid->setColumnStretch(4, 1);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(header);
    layout->addSpacing(6);
    layout->addWidget(CheckBox7);
    layout->addWidget(CheckBox09);
    layout->addWidget(CheckBox6);
    layout->addSpacing(10);
    layout->addWidget(Label8);
    layout->addLayout(grid);
    layout->addStretch(1);
    return page;
}

QWidget* TfrmOptions::CreateExclusionsTab() {
    auto* page = Named(new QWidget, "tsExclusions");
    lbDirectories = Named(new QLabel(page), "lbDirectories");
    memoDirectories = Named(new QPlainTextEdit(page), "memoDirectories");
    CheckBox10 = Named(new QCheckBox(page), "CheckBox10");
    CheckBox4 = Named(new QCheckBox(page), "CheckBox4");
    memoDirectories->setLineWrapMode(QPlainTextEdit::NoWrap);
    memoDirectories->setTabChangesFocus(true);
    memoDirectories->setMinimumHeight(150);
    lbDirectories->setBuddy(memoDirectories);

    QLabel* header = AddHeader(page);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(header);
    layout->addSpacing(6);
    layout->addWidget(lbDirectories);
    layout->addWidget(memoDirectories, 1);
    layout->addWidget(CheckBox10);
    layout->addWidget(CheckBox4);
    return page;
}

void TfrmOptions::Translate() {
    setWindowTitle(u' ' + morvane::Translate(QStringLiteral("Options")));
    Tabs->setTabText(0, morvane::Translate(QStringLiteral("General")));
    Tabs->setTabText(1, morvane::Translate(QStringLiteral("Logging")));
    Tabs->setTabText(2, morvane::Translate(QStringLiteral("Backup ")));
    Tabs->setTabText(3, morvane::Translate(QStringLiteral("Exclusions")));
    const QString headers[] = {
        morvane::Translate(QStringLiteral("General Options")),
        morvane::Translate(QStringLiteral("Logging Options")),
        morvane::Translate(QStringLiteral("Backup Options")),
        morvane::Translate(QStringLiteral("Exclusions")),
    };
    for (int i = 0; i < headers_.size(); ++i)
        headers_[i]->setText(headers[i]);

    CheckBox1->setText(morvane::Translate(QStringLiteral("Run the program at user logon")));
    CheckBox3->setText(morvane::Translate(QStringLiteral("Run only one job at a time")));
    CheckBox9->setText(morvane::Translate(
        QStringLiteral("Block sleep mode if some job is scheduled for today or tomorrow")));
    CheckBox2->setText(
        morvane::Translate(QStringLiteral("Protect configuration from unwanted changes with a password")));
    Button1->setText(morvane::Translate(QStringLiteral("Set Password")) + QStringLiteral("..."));
    Label5->setText(morvane::Translate(QStringLiteral("Process priority:")));
    RefillCombo(ComboBox1,
                {morvane::Translate(QStringLiteral("Iddle")), morvane::Translate(QStringLiteral("Normal")),
                 morvane::Translate(QStringLiteral("High")), morvane::Translate(QStringLiteral("Realtime"))});
    label6->setText(morvane::Translate(QStringLiteral("Path for temporary files:")));
    Button2->setText(morvane::Translate(QStringLiteral("Select...")));

    Label2->setText(morvane::Translate(QStringLiteral("Number of log files to keep for each backup job:")));
    Label3->setText(morvane::Translate(QStringLiteral("Number of lines to keep in the history file:")));
    Label4->setText(morvane::Translate(QStringLiteral("Number of lines to keep in the Events Log:")));
    CheckBox8->setText(TOptionsDialog::InternalFilesCaption());
    Label7->setText(morvane::Translate(QStringLiteral("Path for log files:")));
    Button3->setText(morvane::Translate(QStringLiteral("Select...")));

    CheckBox7->setText(morvane::Translate(QStringLiteral("Delete a previous backup if it was canceled")));
    CheckBox09->setText(morvane::Translate(
        QStringLiteral("Prevent other applications from writing files during ZIP compression")));
    CheckBox6->setText(morvane::Translate(
        QStringLiteral("Do not use buffering for file copy operations (suitable for very large files)")));
    Label8->setText(morvane::Translate(QStringLiteral("If destination is not available,")));
    Label9->setText(morvane::Translate(QStringLiteral("Retry")));
    Label10->setText(morvane::Translate(QStringLiteral("times")));
    Label12->setText(morvane::Translate(QStringLiteral("Delay between attempts:")));
    Label11->setText(morvane::Translate(QStringLiteral("seconds")));
    Label29->setText(morvane::Translate(QStringLiteral("Then:")));
    RefillCombo(cmbThen, {morvane::Translate(QStringLiteral("Cancel the job")),
                          morvane::Translate(QStringLiteral("Pause and wait for your action"))});

    lbDirectories->setText(morvane::Translate(QStringLiteral("Exclude Folder")) + u':');
    CheckBox10->setText(morvane::Translate(QStringLiteral("Skip hidden and system files")));
    CheckBox4->setText(morvane::Translate(QStringLiteral("Skip locked/in-use files")));

    btDone->setText(morvane::Translate(QStringLiteral("OK")));
    btCancel->setText(morvane::Translate(QStringLiteral("Cancel")));
}

void TfrmOptions::LoadControls() {
    const TOptionsFields& f = dialog_->Fields;
    CheckBox1->setChecked(f.RunProgramAtLogon);
    CheckBox3->setChecked(f.RunOnlyOneJobAtATime);
    CheckBox9->setChecked(f.BlockSleepMode);
    CheckBox2->setChecked(f.ProtectByPassword);
    ComboBox1->setCurrentIndex(
        f.ProcessPriority >= 0 && f.ProcessPriority < ComboBox1->count() ? f.ProcessPriority : -1);
    Edit1->setText(f.PathForTempFiles);
    SpinEdit1->setValue(f.LogsPerJob);
    SpinEdit2->setValue(f.LinesInHistory);
    SpinEdit3->setValue(f.LinesInEventsLog);
    CheckBox8->setChecked(f.DontLogCopyingInternalFiles);
    Edit2->setText(f.PathForLogFiles);
    CheckBox7->setChecked(f.RemovePreviousBackupIfCancelled);
    CheckBox09->setChecked(f.PreventOtherAppsFromWriting);
    CheckBox6->setChecked(f.DontUseBuffering);
    SpinEdit4->setValue(f.RetryTimes);
    SpinEditDelay->setValue(f.DelaySeconds);
    cmbThen->setCurrentIndex(f.Then == 0 || f.Then == 1 ? f.Then : -1);
    memoDirectories->setPlainText(f.ExcludedFolders);
    CheckBox10->setChecked(f.SkipHiddenSystemFiles);
    CheckBox4->setChecked(f.SkipLockedFiles);
    Label1->setText(dialog_->PasswordStatusText());
    ApplyPasswordEnabling();
}

void TfrmOptions::StoreControls() {
    TOptionsFields& f = dialog_->Fields;
    f.RunProgramAtLogon = CheckBox1->isChecked();
    f.RunOnlyOneJobAtATime = CheckBox3->isChecked();
    f.BlockSleepMode = CheckBox9->isChecked();
    f.ProtectByPassword = CheckBox2->isChecked();
    // The priority's control is not offered, so its value stays as loaded.
    f.PathForTempFiles = Edit1->text();
    f.LogsPerJob = SpinEdit1->value();
    f.LinesInHistory = SpinEdit2->value();
    f.LinesInEventsLog = SpinEdit3->value();
    f.DontLogCopyingInternalFiles = CheckBox8->isChecked();
    f.PathForLogFiles = Edit2->text();
    f.RemovePreviousBackupIfCancelled = CheckBox7->isChecked();
    f.PreventOtherAppsFromWriting = CheckBox09->isChecked();
    f.DontUseBuffering = CheckBox6->isChecked();
    f.RetryTimes = SpinEdit4->value();
    f.DelaySeconds = SpinEditDelay->value();
    // A value no item stands for stays as it was.
    if (cmbThen->currentIndex() >= 0)
        f.Then = cmbThen->currentIndex();
    f.ExcludedFolders = memoDirectories->toPlainText();
    f.SkipHiddenSystemFiles = CheckBox10->isChecked();
    f.SkipLockedFiles = CheckBox4->isChecked();
}

void TfrmOptions::ApplyPasswordEnabling() {
    const bool enabled = dialog_ ? dialog_->PasswordControlsEnabled() : CheckBox2->isChecked();
    Button1->setEnabled(enabled);
    Label1->setEnabled(enabled);
}

void TfrmOptions::ShowOptions(TOptionsDialog& dialog) {
    dialog_ = &dialog;
    const QMetaObject::Connection accepted =
        connect(&dialog, &TOptionsDialog::Accepted, this, &QDialog::accept);
    const QMetaObject::Connection checking =
        connect(&dialog, &TOptionsDialog::CheckingChanged, this, [this](bool busy) {
            Tabs->setEnabled(!busy);
            btDone->setEnabled(!busy);
        });
    Translate();
    LoadControls();
    Tabs->setEnabled(true);
    btDone->setEnabled(true);
    // Sized to the longest caption of the current language, with some room to spare.
    const QSize hint = sizeHint();
    resize(qMax(hint.width() + 40, 560), qMax(hint.height() + 20, 400));
    exec();
    dialog.Cancel();
    disconnect(accepted);
    disconnect(checking);
    Tabs->setCurrentIndex(0);
    dialog_ = nullptr;
}

void TfrmOptions::reject() {
    if (dialog_)
        dialog_->Cancel();
    QDialog::reject();
}

} // namespace morvane
