#include "ui/wizard/wizard_parts.h"

#include "control/job_wizard_commands.h"
#include "control/user_prompt.h"
#include "i18n/translation.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace morvane {

TfrmAddTime::TfrmAddTime(QWidget* parent) : QDialog(parent), Time(new QTimeEdit(this)) {
    setObjectName(QStringLiteral("frmAddTime"));
    Time->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    auto* ok = new QPushButton(this);
    ok->setObjectName(QStringLiteral("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(Time);
    layout->addWidget(ok);
    Translate();
}

void TfrmAddTime::Translate() {
    setWindowTitle(morvane::Translate(QStringLiteral("Add...")));
    findChild<QPushButton*>(QStringLiteral("OK"))->setText(morvane::Translate(QStringLiteral("OK")));
}

TfrmListViewer::TfrmListViewer(QWidget* parent)
    : QDialog(parent), Text(new QPlainTextEdit(this)), caption_(new QLabel(this)) {
    setObjectName(QStringLiteral("frmListViewer"));
    Text->setReadOnly(true);
    Text->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption_);
    layout->addWidget(Text);
    layout->addWidget(buttons);
    resize(520, 360);
}

void TfrmListViewer::ShowList(const QStringList& lines) {
    const QString title = Translate(QStringLiteral("View as list"));
    setWindowTitle(title);
    caption_->setText(title + u':');
    Text->setPlainText(TFilesWizard::SourcesAsList(lines).join(u'\n'));
}

TfrmPassword::TfrmPassword(IUserPrompt& prompt, QWidget* parent)
    : QDialog(parent), Password(new QLineEdit(this)), Confirmation(new QLineEdit(this)),
      ShowPassword(new QCheckBox(this)), OK(new QPushButton(this)), prompt_(prompt),
      passwordCaption_(new QLabel(this)), confirmationCaption_(new QLabel(this)),
      cancel_(new QPushButton(this)) {
    setObjectName(QStringLiteral("frmPassword"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    Password->setMinimumWidth(260);
    auto* form = new QFormLayout;
    form->addRow(passwordCaption_, Password);
    form->addRow(confirmationCaption_, Confirmation);
    form->addRow(QString(), ShowPassword);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OK);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    // OK is the default button, so Enter anywhere in the window confirms.
    OK->setDefault(true);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(OK, &QPushButton::clicked, this, [this] {
        if (const std::optional<QString> password =
                ConfirmedPassword(Password->text(), Confirmation->text())) {
            confirmed_ = *password;
            accept();
        } else {
            prompt_.ShowError(PasswordsDoNotMatchText());
        }
    });
    connect(ShowPassword, &QCheckBox::toggled, this, [this](bool shown) {
        for (QLineEdit* field : {Password, Confirmation})
            field->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    });
    for (QLineEdit* field : {Password, Confirmation})
        field->setEchoMode(QLineEdit::Password);
}

void TfrmPassword::ChangePassword(QString& password) {
    setWindowTitle(u' ' + morvane::Translate(QStringLiteral("Set Password")));
    passwordCaption_->setText(morvane::Translate(QStringLiteral("Password:")));
    confirmationCaption_->setText(morvane::Translate(QStringLiteral("Confirm password")));
    ShowPassword->setText(morvane::Translate(QStringLiteral("Show password")));
    OK->setText(morvane::Translate(QStringLiteral("OK")));
    cancel_->setText(morvane::Translate(QStringLiteral("Cancel")));
    // The check box keeps its state between openings; the fields never keep text.
    Password->clear();
    Confirmation->clear();
    Password->setFocus();
    if (exec() == QDialog::Accepted)
        password = confirmed_;
    confirmed_.clear();
}

TSchedulePage::TSchedulePage(IUserPrompt& prompt, QWidget* parent)
    : QWidget(parent), DaysOfWeek(new QCheckBox(this)), Weekdays(new QListWidget(this)),
      DaysOfMonth(new QCheckBox(this)), MonthDays(new QListWidget(this)), TimetableCaption(new QLabel(this)),
      Timetable(new QListWidget(this)), AddTime(new QToolButton(this)), RemoveTime(new QToolButton(this)),
      RunMissed(new QCheckBox(this)), Shutdown(new QCheckBox(this)), AddTimeWindow(new TfrmAddTime(this)),
      prompt_(prompt) {
    DaysOfWeek->setObjectName(QStringLiteral("cbDaysOfWeek"));
    Timetable->setObjectName(QStringLiteral("lbTimetable"));
    AddTime->setObjectName(QStringLiteral("btAddTime"));
    RemoveTime->setObjectName(QStringLiteral("btRemoveTime"));
    for (int i = 0; i < 7; ++i)
        new QListWidgetItem(Weekdays);
    for (int day = 1; day <= 31; ++day)
        new QListWidgetItem(QString::number(day), MonthDays);
    for (QListWidget* list : {Weekdays, MonthDays})
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    // The month group is kept with the job but not offered on the page.
    DaysOfMonth->hide();
    MonthDays->hide();
    Timetable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    AddTime->setText(QStringLiteral("+"));
    RemoveTime->setText(QString(QChar(0x2212)));

    auto* grid = new QGridLayout(this);
    grid->addWidget(DaysOfWeek, 0, 0);
    grid->addWidget(Weekdays, 1, 0);
    grid->addWidget(TimetableCaption, 0, 1);
    auto* times = new QHBoxLayout;
    times->addWidget(Timetable);
    auto* timeButtons = new QVBoxLayout;
    timeButtons->addWidget(AddTime);
    timeButtons->addWidget(RemoveTime);
    timeButtons->addStretch();
    times->addLayout(timeButtons);
    grid->addLayout(times, 1, 1);
    grid->addWidget(RunMissed, 2, 0, 1, 2);
    grid->addWidget(Shutdown, 3, 0, 1, 2);

    connect(DaysOfWeek, &QCheckBox::clicked, this, [this](bool checked) {
        fields_.SetDaysOfWeekChecked(checked);
        ApplyEnabling();
    });
    connect(AddTime, &QToolButton::clicked, this, &TSchedulePage::AddTimeClicked);
    connect(RemoveTime, &QToolButton::clicked, this, [this] { qDeleteAll(Timetable->selectedItems()); });
    Translate();
    ApplyEnabling();
}

void TSchedulePage::Translate() {
    DaysOfWeek->setText(morvane::Translate(QStringLiteral("Days of the week:")));
    DaysOfMonth->setText(morvane::Translate(QStringLiteral("Days of the month:")));
    static const char* const days[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                       "Friday", "Saturday", "Sunday"};
    for (int i = 0; i < 7; ++i)
        Weekdays->item(i)->setText(morvane::Translate(QString::fromLatin1(days[i])));
    TimetableCaption->setText(morvane::Translate(QStringLiteral("Timetable:")));
    RunMissed->setText(
        morvane::Translate(QStringLiteral("Run job as soon as possible after a scheduled start is missed")));
    Shutdown->setText(morvane::Translate(QStringLiteral("Shut down PC in the end")));
    AddTimeWindow->Translate();
}

void TSchedulePage::ResetAddTime() {
    AddTimeWindow->Time->setTime(QTime(0, 0, 0));
}

void TSchedulePage::Load(const TScheduleFields& fields) {
    fields_ = fields;
    DaysOfWeek->setChecked(fields.DaysOfWeekChecked);
    DaysOfMonth->setChecked(fields.DaysOfMonthChecked);
    for (int i = 0; i < 7; ++i)
        Weekdays->item(i)->setCheckState(fields.Weekdays[i] ? Qt::Checked : Qt::Unchecked);
    for (int i = 0; i < 31; ++i)
        MonthDays->item(i)->setCheckState(fields.MonthDays[i] ? Qt::Checked : Qt::Unchecked);
    Timetable->clear();
    Timetable->addItems(fields.TimeTable);
    RunMissed->setChecked(fields.RunMissedStart);
    Shutdown->setChecked(fields.ShutdownAtEnd);
    ApplyEnabling();
}

void TSchedulePage::Store(TScheduleFields& fields) const {
    fields.DaysOfWeekChecked = DaysOfWeek->isChecked();
    fields.DaysOfMonthChecked = DaysOfMonth->isChecked();
    for (int i = 0; i < 7; ++i)
        fields.Weekdays[i] = Weekdays->item(i)->checkState() == Qt::Checked;
    for (int i = 0; i < 31; ++i)
        fields.MonthDays[i] = MonthDays->item(i)->checkState() == Qt::Checked;
    fields.TimeTable.clear();
    for (int i = 0; i < Timetable->count(); ++i)
        fields.TimeTable.append(Timetable->item(i)->text());
    fields.RunMissedStart = RunMissed->isChecked();
    fields.ShutdownAtEnd = Shutdown->isChecked();
}

void TSchedulePage::ApplyEnabling() {
    DaysOfWeek->setChecked(fields_.DaysOfWeekChecked);
    DaysOfMonth->setChecked(fields_.DaysOfMonthChecked);
    const bool on = fields_.TimetableEnabled();
    Weekdays->setEnabled(fields_.DaysOfWeekChecked);
    MonthDays->setEnabled(fields_.DaysOfMonthChecked);
    for (QWidget* widget : std::initializer_list<QWidget*>{TimetableCaption, Timetable, AddTime, RemoveTime,
                                                           RunMissed, Shutdown, AddTimeWindow->Time})
        widget->setEnabled(on);
}

void TSchedulePage::AddTimeClicked() {
    AddTimeWindow->adjustSize();
    const QPoint corner = AddTime->mapToGlobal(QPoint(AddTime->width(), AddTime->height()));
    AddTimeWindow->move(corner.x() - AddTimeWindow->width(), corner.y());
    if (AddTimeWindow->exec() != QDialog::Accepted)
        return;
    TScheduleFields current;
    Store(current);
    if (const std::optional<TWizardMessage> message =
            AddTimeToTimetable(current.TimeTable, AddTimeWindow->Time->time())) {
        ShowWizardMessage(prompt_, *message);
        return;
    }
    Timetable->clear();
    Timetable->addItems(current.TimeTable);
}

TNetworkBox::TNetworkBox(IUserPrompt& prompt, QWidget* parent)
    : QWidget(parent), PathCaption(new QLabel(this)), Path(new QLineEdit(this)),
      Choose(new QPushButton(this)), UserCaption(new QLabel(this)), User(new QLineEdit(this)),
      PasswordCaption(new QLabel(this)), SetPassword(new QPushButton(this)), PasswordStatus(new QLabel(this)),
      Test(new QPushButton(this)), TestResult(new QLabel(this)), prompt_(prompt),
      test_(new TConnectionTest(this)), passwordDialog_(new TfrmPassword(prompt, this)) {
    Path->setObjectName(QStringLiteral("edNetworkPath"));
    User->setObjectName(QStringLiteral("edUsername"));
    Test->setObjectName(QStringLiteral("btTestConnection"));
    TestResult->setObjectName(QStringLiteral("lbTestResult"));
    TestResult->setWordWrap(true);
    // The captions name their fields for screen readers and give them their mnemonic.
    PathCaption->setBuddy(Path);
    UserCaption->setBuddy(User);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(PathCaption, 0, 0);
    grid->addWidget(Path, 0, 1);
    grid->addWidget(Choose, 0, 2);
    grid->addWidget(UserCaption, 1, 0);
    grid->addWidget(User, 1, 1);
    grid->addWidget(PasswordCaption, 2, 0);
    auto* password = new QHBoxLayout;
    password->addWidget(SetPassword);
    password->addWidget(PasswordStatus, 1);
    grid->addLayout(password, 2, 1);
    grid->addWidget(Test, 3, 1, Qt::AlignLeft);
    grid->addWidget(TestResult, 4, 1, 1, 2);

    connect(Choose, &QPushButton::clicked, this, [this] {
        if (const auto folder = prompt_.ChooseFolder(
                morvane::Translate(QStringLiteral("Choose a Network folder")), Path->text()))
            Path->setText(*folder);
    });
    connect(SetPassword, &QPushButton::clicked, this, [this] {
        passwordDialog_->ChangePassword(password_);
        TDestinationFields fields;
        fields.NetworkPassword = password_;
        PasswordStatus->setText(fields.PasswordStatusText());
    });
    connect(Test, &QPushButton::clicked, this, [this] {
        if (test_->Start(Path->text(), User->text(), password_)) {
            Test->setEnabled(false);
            TestResult->setText(morvane::Translate(QStringLiteral("Connecting...")));
        }
    });
    connect(test_, &TConnectionTest::Finished, this, [this](bool connected, const QString& error) {
        Test->setEnabled(true);
        TestResult->setText(connected ? ConnectionWorksText() : error);
    });
}

void TNetworkBox::Translate() {
    UserCaption->setText(morvane::Translate(QStringLiteral("Username:")));
    PasswordCaption->setText(morvane::Translate(QStringLiteral("Password:")));
    SetPassword->setText(morvane::Translate(QStringLiteral("Set password...")));
    Choose->setText(morvane::Translate(QStringLiteral("Choose...")));
    Test->setText(morvane::Translate(QStringLiteral("Test the connection")));
}

void TNetworkBox::Load(const TDestinationFields& fields) {
    Path->setText(fields.NetworkPath);
    User->setText(fields.NetworkUser);
    password_ = fields.NetworkPassword;
    PasswordStatus->setText(fields.PasswordStatusText());
    TestResult->clear();
}

void TNetworkBox::Store(TDestinationFields& fields) const {
    fields.NetworkPath = Path->text();
    fields.NetworkUser = User->text();
    fields.NetworkPassword = password_;
}

} // namespace morvane
