#include "control/job_wizard_commands.h"

#include "control/user_prompt.h"
#include "core/job_commands.h"
#include "formats/events_log.h"
#include "i18n/translation.h"
#include "storage/storage_connection.h"


namespace morvane {

namespace {

QString BusyText() {
    return Translate(
        QStringLiteral("Unable to complete the action at the moment. Please try again in several seconds."));
}

QString WizardTitle(const QString& translatedCaption, const QString& name) {
    return u' ' + translatedCaption + QStringLiteral(" - ") + name;
}

} // namespace

TJobWizardCommands::TJobWizardCommands(TJobsCatalogue& catalogue, IUserPrompt& prompt,
                                       IJobWizardWindows& windows, std::function<bool()> busy)
    : catalogue_(catalogue), prompt_(prompt), windows_(windows), busy_(std::move(busy)) {}

void TJobWizardCommands::Refuse() {
    prompt_.ShowMessage(BusyText());
}

int TJobWizardCommands::NewJob() {
    const std::optional<IJobWizardWindows::TNewJobChoice> choice = windows_.AskNewJob();
    if (!choice)
        return -1;
    const TJobNameResult name = CheckJobName(catalogue_, choice->Name);
    if (name.Check == JobNameCheck::Empty)
        return -1;
    if (name.Check != JobNameCheck::Ok) {
        prompt_.ShowError(name.Message);
        return -1;
    }
    if (choice->Kind == TJob::Kind::FilesAndFolders) {
        files_.ClearControls();
        return AddFromFilesWizard(name.Name, choice->Name);
    }
    image_.ClearControls();
    windows_.ShowImageWizard(image_, WizardTitle(Translate(QStringLiteral("New Job")), choice->Name));
    if (image_.ResultCode() == wrDiscard)
        return -1;
    auto job = std::make_unique<TJob_DriveImage>(name.Name);
    image_.ControlsToJob(*job);
    return AddJob(std::move(job), choice->Name, image_.ResultCode());
}

int TJobWizardCommands::DuplicateFilesJob(const TJob_FilesAndFolders& source, const QString& name,
                                          const QString& typed) {
    files_.ClearControls();
    files_.JobToControls(source);
    return AddFromFilesWizard(name, typed);
}

int TJobWizardCommands::AddFromFilesWizard(const QString& name, const QString& typed) {
    windows_.ShowFilesWizard(files_, WizardTitle(Translate(QStringLiteral("New Job")), typed));
    if (files_.ResultCode() == wrDiscard)
        return -1;
    auto job = std::make_unique<TJob_FilesAndFolders>(name);
    if (const QString problem = files_.ControlsToJob(*job); !problem.isEmpty()) {
        prompt_.ShowError(problem);
        return -1;
    }
    return AddJob(std::move(job), typed, files_.ResultCode());
}

int TJobWizardCommands::AddJob(std::unique_ptr<TJob> job, const QString& typed, int result) {
    const QString jobFile = catalogue_.JobFilePath(job->stJobName);
    if (!SaveLocalJobFile(*job, jobFile)) {
        prompt_.ShowError(Translate(QStringLiteral("Unable to save the job file:")) + u' ' + jobFile);
        return -1;
    }
    TJob& added = catalogue_.Append(std::move(job));
    SaveJobsListOrLog(catalogue_);
    AddToEventsLog(FormatText(Translate(QStringLiteral("Created new job: \"%s\".")), {typed}));
    if (result == wrSaveAndRun)
        added.JobStatus = jsWaiting;
    return catalogue_.Count() - 1;
}

bool TJobWizardCommands::EditJob(int row) {
    if (row < 0 || row >= catalogue_.Count())
        return false;
    TJob& job = catalogue_.At(row);
    if (job.JobStatus != jsNone || (busy_ && busy_())) {
        Refuse();
        return false;
    }
    auto* files = dynamic_cast<TJob_FilesAndFolders*>(&job);
    auto* image = dynamic_cast<TJob_DriveImage*>(&job);
    TWizardPages* pages = nullptr;
    std::function<void()> show;
    if (files) {
        files_.ClearControls();
        files_.JobToControls(*files);
        files_.EditingJob = true;
        pages = &files_;
        show = [this, &job] {
            windows_.ShowFilesWizard(files_,
                                     WizardTitle(Translate(QStringLiteral("Settings")), job.stJobName));
        };
    } else if (image) {
        image_.ClearControls();
        image_.JobToControls(*image);
        image_.EditingJob = true;
        pages = &image_;
        show = [this, &job] {
            windows_.ShowImageWizard(image_,
                                     WizardTitle(Translate(QStringLiteral("Properties")), job.stJobName));
        };
    } else {
        return false;
    }
    for (;;) {
        show();
        if (pages->ResultCode() == wrDiscard)
            return false;
        // A run may have started while the wizard was open: the user's entries are kept for another try.
        if (job.JobStatus != jsNone) {
            prompt_.ShowMessage(Translate(QStringLiteral("Job is currently running.")) +
                                QStringLiteral("\r\n") + BusyText());
            pages->ResetResult();
            continue;
        }
        break;
    }
    if (files) {
        if (const QString problem = files_.ControlsToJob(*files); !problem.isEmpty()) {
            prompt_.ShowError(problem);
            return false;
        }
    } else {
        image_.ControlsToJob(*image);
    }
    const QString jobFile = catalogue_.JobFilePath(job.stJobName);
    if (!SaveLocalJobFile(job, jobFile))
        prompt_.ShowError(Translate(QStringLiteral("Unable to save the job file:")) + u' ' + jobFile);
    if (pages->ResultCode() == wrSaveAndRun)
        job.JobStatus = jsWaiting;
    return true;
}

QString ConnectionWorksText() {
    return Translate(QStringLiteral("The connection to the network storage works."));
}

TConnectionTest::TConnectionTest(QObject* parent)
    : QObject(parent), gate_(std::make_shared<TPostGate>(this)) {}

TConnectionTest::~TConnectionTest() {
    gate_->Close();
    if (worker_.joinable())
        worker_.join();
}

bool TConnectionTest::Start(const QString& networkPath, const QString& user, const QString& password) {
    if (running_)
        return false;
    if (worker_.joinable())
        worker_.join(); // the last test has already reported, so this does not wait
    running_ = true;
    // The reply runs on this object's thread and only while it lives, so it may use `this`.
    worker_ = std::thread([this, gate = gate_, networkPath, user, password] {
        TNetworkPathConnection connection;
        const bool connected = connection.Connect(networkPath, user, password);
        const QString error = connected ? QString() : connection.FLastError;
        connection.Disconnect(true);
        gate->Post([this, connected, error] {
            running_ = false;
            Q_EMIT Finished(connected, error);
        });
    });
    return true;
}

} // namespace morvane
