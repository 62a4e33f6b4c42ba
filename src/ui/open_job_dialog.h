#pragma once

#include "control/import_dialog.h"

#include <QDialog>

#include <functional>

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace morvane {

class IUserPrompt;

// The import dialog: the path of a job's storage copy, and the user name and password of a share
// that needs them. It checks only that the path holds ".bmj"; the import itself is the caller's.
class TfrmOpenJobDialog final : public QDialog, public IImportDialog {
    Q_OBJECT
public:
    explicit TfrmOpenJobDialog(IUserPrompt& prompt, QWidget* parent = nullptr);

    // Shows the window modally with the path field set to `defaultPath`.
    std::optional<TImportChoice> AskImport(const QString& defaultPath) override;
    // Sets the texts in the current language and the fields as each showing starts.
    void Reset(const QString& defaultPath);
    // The file chooser of "Browse..."; the platform's file-open dialog unless set (tests).
    void setFileChooser(std::function<QString(const QString& start)> chooser) {
        chooser_ = std::move(chooser);
    }

    QLineEdit* edLocalExtDiskPath() const { return path_; }
    QLineEdit* UserEdit() const { return user_; }
    QLineEdit* PasswordEdit() const { return password_; }
    QPushButton* BrowseButton() const { return browse_; }
    QPushButton* ImportButton() const;
    QDialogButtonBox* Buttons() const { return buttons_; }

private:
    void Browse();
    void Confirm();

    IUserPrompt& prompt_;
    std::function<QString(const QString&)> chooser_;
    QLabel* explanation_;
    QLabel* pathCaption_;
    QLineEdit* path_;
    QPushButton* browse_;
    QLabel* userCaption_;
    QLineEdit* user_;
    QLabel* passwordCaption_;
    QLineEdit* password_;
    QDialogButtonBox* buttons_;
};

} // namespace morvane
