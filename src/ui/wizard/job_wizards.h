#pragma once

#include "control/job_wizard.h"
#include "control/job_wizard_commands.h"
#include "control/off_thread.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QToolButton;
class QTreeView;

namespace morvane {

class IUserPrompt;
class TNetworkBox;
class TSchedulePage;
class TSourceTreeModel;
class TfrmListViewer;

// The Back, Next, Save (with Save && Run) and Cancel row both wizards share, with the page stack.
class TWizardWindow : public QDialog {
    Q_OBJECT
public:
    TWizardWindow(IUserPrompt& prompt, QWidget* parent);
    QLabel* Heading = nullptr;
    QStackedWidget* Pages = nullptr;
    QPushButton* Back = nullptr;
    QPushButton* Next = nullptr;
    QToolButton* Save = nullptr;
    QPushButton* Cancel = nullptr;
    QAction* SaveOnly = nullptr;
    QAction* SaveAndRun = nullptr;

protected:
    void TranslateButtons();
    // Enables the buttons for the page; they stay disabled while a disk lookup is out.
    void ShowPage(const TWizardPages& pages, const QStringList& headings);
    // Shows the window modally; lookups still out when it closes are forgotten.
    void ShowModal();
    // Runs a disk lookup of this showing on a worker: Back, Next and Save wait for it, and
    // `done(result)` runs when it is back, unless the window has closed meanwhile.
    template <class Work, class Done> void LookUp(Work work, Done done) {
        ++lookups_;
        HoldButtons();
        offThread_->Start(std::move(work),
                          [this, showing = showing_, done = std::move(done)](auto result) mutable {
                              if (showing != showing_)
                                  return;
                              --lookups_;
                              done(std::move(result));
                          });
    }
    virtual void NextClicked() = 0;
    virtual void SaveClicked(TWizardResult result) = 0;
    IUserPrompt& prompt_;

private:
    void HoldButtons();
    TOffThreadCalls* offThread_;
    int lookups_ = 0;
    quint64 showing_ = 0;
};

// The files-and-folders job wizard.
class TfrmWizard_FilesBackup final : public TWizardWindow {
    Q_OBJECT
public:
    TfrmWizard_FilesBackup(IUserPrompt& prompt, QWidget* parent = nullptr);
    // Shows the fields of `wizard` and runs the window until it closes.
    void Run(TFilesWizard& wizard, const QString& title);

    TSourceTreeModel* Tree = nullptr;
    QTreeView* TreeView = nullptr;
    QLabel* ViewAsList = nullptr;
    QCheckBox* ShowHidden = nullptr;
    QComboBox* Filter = nullptr;
    QLineEdit* Extensions = nullptr;
    QRadioButton* External = nullptr;
    QLineEdit* ExternalPath = nullptr;
    QPushButton* ChooseExternal = nullptr;
    QRadioButton* Network = nullptr;
    TNetworkBox* NetworkBox = nullptr;
    QRadioButton* Mirror = nullptr;
    QRadioButton* Full = nullptr;
    QRadioButton* Incremental = nullptr;
    QSpinBox* FullEvery = nullptr;
    QSpinBox* Keep = nullptr;
    QCheckBox* RemoveOldFirst = nullptr;
    TSchedulePage* Schedule = nullptr;
    TfrmListViewer* ListViewer = nullptr;

private:
    void NextClicked() override;
    void MoveOn(std::optional<bool> folderExists);
    void SaveClicked(TWizardResult result) override;
    void Translate();
    void Load();
    void Store();
    void ApplyEnabling();
    void UpdateListLink();
    void Refresh();

    TFilesWizard* wizard_ = nullptr;
    QList<QLabel*> methodCaptions_;
};

// The drive-image job wizard.
class TfrmWizard_DriveImageBackup final : public TWizardWindow {
    Q_OBJECT
public:
    TfrmWizard_DriveImageBackup(IUserPrompt& prompt, QWidget* parent = nullptr);
    void Run(TImageWizard& wizard, const QString& title);

    QListWidget* Drives = nullptr;
    QRadioButton* Disk = nullptr;
    QComboBox* DiskChooser = nullptr;
    QRadioButton* Network = nullptr;
    TNetworkBox* NetworkBox = nullptr;
    QCheckBox* KeepVersions = nullptr;
    QLineEdit* Versions = nullptr;
    TSchedulePage* Schedule = nullptr;

private:
    void NextClicked() override;
    void SaveClicked(TWizardResult result) override;
    void Translate();
    void Load();
    void ShowVolumes(const QList<TVolumeEntry>& volumes);
    void Store();
    void ApplyEnabling();
    void Refresh();

    TImageWizard* wizard_ = nullptr;
    bool volumesShown_ = false; // until then the lists are empty and the stored choices are kept
};

// The name and kind of a new job.
class TfrmNewBackupJob final : public QDialog {
    Q_OBJECT
public:
    explicit TfrmNewBackupJob(QWidget* parent = nullptr);
    std::optional<IJobWizardWindows::TNewJobChoice> Ask();
    QLineEdit* Edit1 = nullptr;
    QRadioButton* rbFilesAndFolders = nullptr;
    QRadioButton* rbDriveBackup = nullptr;

private:
    QLabel* nameCaption_ = nullptr;
    QLabel* kindCaption_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

// The dialogs of the wizard commands, made once and reused.
class TWizardWindows final : public IJobWizardWindows {
public:
    explicit TWizardWindows(IUserPrompt& prompt, QWidget* parent);
    std::optional<TNewJobChoice> AskNewJob() override { return newJob_->Ask(); }
    void ShowFilesWizard(TFilesWizard& wizard, const QString& title) override { files_->Run(wizard, title); }
    void ShowImageWizard(TImageWizard& wizard, const QString& title) override { image_->Run(wizard, title); }
    TfrmNewBackupJob* NewJobDialog() const { return newJob_; }
    TfrmWizard_FilesBackup* FilesWindow() const { return files_; }
    TfrmWizard_DriveImageBackup* ImageWindow() const { return image_; }

private:
    TfrmNewBackupJob* newJob_;
    TfrmWizard_FilesBackup* files_;
    TfrmWizard_DriveImageBackup* image_;
};

} // namespace morvane
