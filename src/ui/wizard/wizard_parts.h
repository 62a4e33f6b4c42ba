#pragma once

#include "control/job_wizard.h"

#include <QDialog>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTimeEdit;
class QToolButton;

namespace morvane {

class IUserPrompt;
class TConnectionTest;

// The window that asks for one time of day for the timetable.
class TfrmAddTime final : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAddTime(QWidget* parent = nullptr);
    QTimeEdit* Time = nullptr;
    void Translate();
};

// The chosen sources as plain paths.
class TfrmListViewer final : public QDialog {
    Q_OBJECT
public:
    explicit TfrmListViewer(QWidget* parent = nullptr);
    void ShowList(const QStringList& lines);
    QPlainTextEdit* Text = nullptr;

private:
    QLabel* caption_ = nullptr;
};

// Asks for a network password twice. The current password is never shown.
class TfrmPassword final : public QDialog {
    Q_OBJECT
public:
    TfrmPassword(IUserPrompt& prompt, QWidget* parent = nullptr);
    // Replaces `password` when the user confirms two matching texts; leaves it otherwise.
    void ChangePassword(QString& password);
    QLineEdit* Password = nullptr;
    QLineEdit* Confirmation = nullptr;
    QCheckBox* ShowPassword = nullptr;
    QPushButton* OK = nullptr;

private:
    IUserPrompt& prompt_;
    QLabel* passwordCaption_ = nullptr;
    QLabel* confirmationCaption_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QString confirmed_;
};

// The schedule page both wizards show.
class TSchedulePage final : public QWidget {
    Q_OBJECT
public:
    TSchedulePage(IUserPrompt& prompt, QWidget* parent = nullptr);
    void Load(const TScheduleFields& fields);
    void Store(TScheduleFields& fields) const;
    void Translate();
    void ResetAddTime();

    QCheckBox* DaysOfWeek = nullptr;
    QListWidget* Weekdays = nullptr;
    QCheckBox* DaysOfMonth = nullptr; // kept with the job, not shown
    QListWidget* MonthDays = nullptr;
    QLabel* TimetableCaption = nullptr;
    QListWidget* Timetable = nullptr;
    QToolButton* AddTime = nullptr;
    QToolButton* RemoveTime = nullptr;
    QCheckBox* RunMissed = nullptr;
    QCheckBox* Shutdown = nullptr;
    TfrmAddTime* AddTimeWindow = nullptr;

private:
    void ApplyEnabling();
    void AddTimeClicked();
    IUserPrompt& prompt_;
    TScheduleFields fields_;
};

// The network destination: path, user, password and the connection test.
class TNetworkBox final : public QWidget {
    Q_OBJECT
public:
    TNetworkBox(IUserPrompt& prompt, QWidget* parent = nullptr);
    void Load(const TDestinationFields& fields);
    void Store(TDestinationFields& fields) const;
    void Translate();

    QLabel* PathCaption = nullptr;
    QLineEdit* Path = nullptr;
    QPushButton* Choose = nullptr;
    QLabel* UserCaption = nullptr;
    QLineEdit* User = nullptr;
    QLabel* PasswordCaption = nullptr;
    QPushButton* SetPassword = nullptr;
    QLabel* PasswordStatus = nullptr;
    QPushButton* Test = nullptr;
    QLabel* TestResult = nullptr;

private:
    IUserPrompt& prompt_;
    QString password_;
    TConnectionTest* test_ = nullptr;
    TfrmPassword* passwordDialog_ = nullptr;
};

} // namespace morvane
