#pragma once

#include "control/configuration_password.h"

#include <QDialog>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace morvane {

// Asks for the configuration password once; checking it is the caller's work.
class TfrmEnterPassword final : public QDialog, public IPasswordEntry {
    Q_OBJECT
public:
    explicit TfrmEnterPassword(QWidget* parent = nullptr);

    // Shows the window modally, emptied and masked; the typed text, or nothing when cancelled.
    std::optional<QString> EnterPassword() override;
    // Empties the field, masks it and translates the texts; done on every showing.
    void Reset();

    QLineEdit* Edit1() const { return edit_; }
    QCheckBox* ShowPasswordBox() const { return showPassword_; }
    QDialogButtonBox* Buttons() const { return buttons_; }

private:
    QLabel* caption_;
    QLineEdit* edit_;
    QCheckBox* showPassword_;
    QDialogButtonBox* buttons_;
};

} // namespace morvane
