#pragma once

#include "control/options_dialog.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace morvane {

class IUserPrompt;
class TfrmPassword;

// The options window: four tabs over TOptionsDialog, which holds every rule.
class TfrmOptions final : public QDialog, public IOptionsWindow {
    Q_OBJECT
public:
    explicit TfrmOptions(IUserPrompt& prompt, QWidget* parent = nullptr);

    // Fills the controls from the dialog's fields, runs modally, and stores the controls back on OK.
    void ShowOptions(TOptionsDialog& dialog) override;

    QTabWidget* Tabs = nullptr;
    // General
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QCheckBox* CheckBox9 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QPushButton* Button1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label5 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QLabel* label6 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button2 = nullptr;
    // Logging
    QLabel* Label2 = nullptr;
    QSpinBox* SpinEdit1 = nullptr;
    QLabel* Label3 = nullptr;
    QSpinBox* SpinEdit2 = nullptr;
    QLabel* Label4 = nullptr;
    QSpinBox* SpinEdit3 = nullptr;
    QCheckBox* CheckBox8 = nullptr;
    QLabel* Label7 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QPushButton* Button3 = nullptr;
    // Backup
    QCheckBox* CheckBox7 = nullptr;
    QCheckBox* CheckBox09 = nullptr;
    QCheckBox* CheckBox6 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QSpinBox* SpinEdit4 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label12 = nullptr;
    QSpinBox* SpinEditDelay = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label29 = nullptr;
    QComboBox* cmbThen = nullptr;
    // Exclusions
    QLabel* lbDirectories = nullptr;
    QPlainTextEdit* memoDirectories = nullptr;
    QCheckBox* CheckBox10 = nullptr;
    QCheckBox* CheckBox4 = nullptr;

    QPushButton* btDone = nullptr;
    QPushButton* btCancel = nullptr;
    TfrmPassword* PasswordWindow = nullptr;

protected:
    void reject() override;

private:
    QLabel* AddHeader(QWidget* page);
    QWidget* CreateGeneralTab();
    QWidget* CreateLoggingTab();
    QWidget* CreateBackupTab();
    QWidget* CreateExclusionsTab();
    void Translate();
    void LoadControls();
    void StoreControls();
    void ApplyPasswordEnabling();

    TOptionsDialog* dialog_ = nullptr;
    QList<QLabel*> headers_;
};

} // namespace morvane
