#pragma once

#include "control/job_wizard.h"
#include "control/off_thread.h"
#include "core/jobs_catalogue.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace morvane {

class IUserPrompt;

// The windows the wizard commands show; each call returns once the window has closed.
class IJobWizardWindows {
public:
    struct TNewJobChoice {
        QString Name; // as typed
        TJob::Kind Kind = TJob::Kind::FilesAndFolders;
    };
    virtual ~IJobWizardWindows() = default;
    // The name and kind of a new job, or nothing when cancelled.
    virtual std::optional<TNewJobChoice> AskNewJob() = 0;
    // Shows the wizard with its fields as they are, modally; its result code tells how it ended.
    virtual void ShowFilesWizard(TFilesWizard& wizard, const QString& title) = 0;
    virtual void ShowImageWizard(TImageWizard& wizard, const QString& title) = 0;
};

// New Job and Settings of the main window: the wizards prepare the job, these commands check the
// name, add or change the job in the catalogue and save it.
class TJobWizardCommands {
public:
    // `busy` tells whether a scheduler tick is in progress. Everything passed in must outlive this.
    TJobWizardCommands(TJobsCatalogue& catalogue, IUserPrompt& prompt, IJobWizardWindows& windows,
                       std::function<bool()> busy);

    // Returns the row of the job it added, or -1.
    int NewJob();
    // Edits the job of a row in its wizard; true when the job was changed.
    bool EditJob(int row);
    // Shows the files wizard filled from `source` as for a new job named `typed` (checked already, `name`
    // trimmed); when it is finished, adds the copy. Returns the copy's row, or -1.
    int DuplicateFilesJob(const TJob_FilesAndFolders& source, const QString& name, const QString& typed);

    TFilesWizard& FilesWizard() { return files_; }
    TImageWizard& ImageWizard() { return image_; }

private:
    void Refuse();
    // Shows the files wizard as it is filled and adds a job named `name` from it when finished.
    int AddFromFilesWizard(const QString& name, const QString& typed);
    // Adds the job, saves its file and the list, and announces it; -1 when its file could not be written.
    int AddJob(std::unique_ptr<TJob> job, const QString& typed, int result);

    TJobsCatalogue& catalogue_;
    IUserPrompt& prompt_;
    IJobWizardWindows& windows_;
    std::function<bool()> busy_;
    TFilesWizard files_;
    TImageWizard image_;
};

// "Test the connection" of a network destination: connects through the storage layer on a worker
// thread and reports on this object's thread. One test at a time.
class TConnectionTest final : public QObject {
    Q_OBJECT
public:
    explicit TConnectionTest(QObject* parent = nullptr);
    ~TConnectionTest() override;
    // False when a test is still running.
    bool Start(const QString& networkPath, const QString& user, const QString& password);
    bool Running() const { return running_; }

Q_SIGNALS:
    // The storage's own error text when the connection failed, empty when it worked.
    void Finished(bool connected, const QString& errorText);

private:
    std::shared_ptr<TPostGate> gate_;
    std::thread worker_;
    bool running_ = false;
};

// The text shown when the test connected.
QString ConnectionWorksText();

} // namespace morvane
