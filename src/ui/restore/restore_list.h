#pragma once

#include "control/user_prompt.h"
#include "engine/restore_dialogs.h"

#include <QDialog>

class QDialogButtonBox;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;

namespace morvane {

// The restore-point chooser: a list of the points, or a loading panel over it while the list is read.
class TfrmRestoreList final : public QDialog {
    Q_OBJECT
public:
    explicit TfrmRestoreList(QWidget* parent = nullptr);

    // Shows the window without waiting, in its loading state, with the busy pointer.
    void ShowLoading();
    // Fills the list, shows it modally and returns the chosen index, or nothing when cancelled.
    std::optional<int> Choose(const QStringList& shownNames);
    // Hides the window and its loading state; the pointer returns to normal.
    void CloseChooser();

    bool IsLoading() const;
    QListWidget* ListBox1() const { return list_; }
    QLabel* Label1() const { return label_; }
    QLabel* LoadingLabel() const { return loading_; }
    QPushButton* OkButton() const;
    QPushButton* CancelButton() const;

protected:
    void done(int result) override;

private:
    void Retranslate();
    void SetLoading(bool loading);

    bool busyCursor_ = false;
    QWidget* panel3_;
    QLabel* label_;
    QStackedWidget* stack_;
    QListWidget* list_;
    QLabel* loading_;
    QDialogButtonBox* buttons_;
};

// The restore's questions answered with windows: the folder dialog, the chooser, message boxes.
class TWidgetRestoreDialogs final : public TRestoreDialogs {
public:
    TWidgetRestoreDialogs(TfrmRestoreList& chooser, IUserPrompt& prompt)
        : chooser_(chooser), prompt_(prompt) {}

    std::optional<QString> ChooseOutputDirectory(const QString& title) override;
    void ShowRestorePointsLoading() override;
    void CloseRestorePoints() override;
    std::optional<int> ChooseRestorePoint(const QStringList& shownNames) override;
    void ShowErrorMessage(const QString& text) override;
    QString AskPassword(const QString& caption, const QString& prompt) override;

private:
    TfrmRestoreList& chooser_;
    IUserPrompt& prompt_;
};

} // namespace morvane
