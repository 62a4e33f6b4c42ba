#include "jobs/job.h"

#include "formats/events_log.h"
#include "i18n/translation.h"
#include "platform/program_state.h"

namespace morvane {

namespace {

template <typename Enum, std::size_t N> QString NameOf(Enum value, const char* const (&names)[N]) {
    const auto index = static_cast<std::size_t>(value);
    return index < N ? QString::fromLatin1(names[index]) : QString::number(index);
}

} // namespace

QString EnumName(TJobStatus value) {
    static const char* const names[] = {"jsNone", "jsWaiting", "jsRunning", "jsCancelling", "jsPaused"};
    return NameOf(value, names);
}

QString EnumName(TJobOperation value) {
    static const char* const names[] = {"joBackup", "joReadRestorePoints", "joRestore", "joRename",
                                        "joRemove"};
    return NameOf(value, names);
}

QString EnumName(TSchedulingType value) {
    static const char* const names[] = {"stDisabled", "stDaysOfWeek", "stDaysOfMonth"};
    return NameOf(value, names);
}

QString EnumName(TDestinationType value) {
    static const char* const names[] = {"dtExternalDevice", "dtNetwork"};
    return NameOf(value, names);
}

QString EnumName(TFilterType value) {
    static const char* const names[] = {"ftNoFilters", "ftIncludeOnly", "ftExclude"};
    return NameOf(value, names);
}

QString EnumName(TBackupType value) {
    static const char* const names[] = {"btSync", "btFull", "btInc"};
    return NameOf(value, names);
}

void TCurrentFileOperationPath::Set(QStringView path) {
    const qsizetype kept = std::min<qsizetype>(path.size(), StoredUnits);
    for (qsizetype i = 0; i < StoredUnits; ++i)
        units_[i].store(i < kept ? path[i].unicode() : u'\0', std::memory_order_relaxed);
}

QString TCurrentFileOperationPath::Text() const {
    QString text;
    for (const auto& unit : units_) {
        const char16_t value = unit.load(std::memory_order_relaxed);
        if (value == u'\0')
            break;
        text.append(QChar(value));
    }
    return text;
}

TJob::TJob(const QString& JobName) : stJobName(JobName) {}

// A job outlives its runs: the last worker is waited for before the job goes.
TJob::~TJob() {
    WaitForWorker();
}

void TJob::StartWorker(std::function<void()> work) {
    WaitForWorker();
    {
        const std::lock_guard lock(workerMutex_);
        workerRunning_ = true;
    }
    worker_ = std::thread([this, work = std::move(work)] {
        work();
        const std::lock_guard lock(workerMutex_);
        workerRunning_ = false;
        workerEnded_.notify_all();
    });
}

bool TJob::WaitForWorkerFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(workerMutex_);
    return workerEnded_.wait_for(lock, timeout, [this] { return !workerRunning_; });
}

void TJob::WaitForWorker() {
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id())
        worker_.join();
}

void TJob::OptionsToJobOptions(const TOptions& options) {
    JobOptions = options;
    // Force private copies of the implicitly shared containers, so nothing of the job's copy is
    // shared with a record the interface thread goes on editing.
    JobOptions.Language.Translations.detach();
    for (QStringList& column : JobOptions.Language.Translations)
        column.detach();
    JobOptions.ExcludedDirs.detach();
}

void TJob::BeginBackup() {
    JobStatus = jsRunning;
    JobOperation = joBackup;
    LastJobResult.StartTime = Now();
    LastJobResult.EndTime = 0;
    LastJobResult.Cancelled = false;
    LastJobResult.ErrorsCount = 0;
    LastJobResult.WarningsCount = 0;
    LastJobResult.Log.clear();
    OptionsToJobOptions();
    AddToEventsLog(FormatText(Translate(QStringLiteral("Starting the \"%s\" backup.")), {stJobName}));
}

void TJob::Cancel() {
    switch (JobStatus.load()) {
    case jsWaiting: {
        JobStatus = jsNone;
        const TDateTime now = Now();
        LastJobResult.StartTime = now;
        LastJobResult.EndTime = now;
        LastJobResult.Log.clear();
        break;
    }
    case jsRunning:
    case jsPaused:
        JobStatus = jsCancelling;
        CancelCurrentFileOperation = -1;
        AddToEventsLog(TranslateText(QStringLiteral("Cancelling")) + QStringLiteral(" (") + stJobName + u')');
        break;
    case jsNone:
    case jsCancelling:
        break;
    }
}

void TJob::Pause() {
    TJobStatus expected = jsRunning;
    if (CanPause)
        JobStatus.compare_exchange_strong(expected, jsPaused);
}

QString TJob::TranslateText(const QString& text) const {
    if (Program().ClosingRequested.load())
        return text;
    return LookupTranslation(JobOptions.Language.Translations, JobOptions.Language.iLanguage, text);
}

QString TJob::TranslateForCurrentThread(const QString& text) const {
    return IsUserInterfaceThread() ? Translate(text) : TranslateText(text);
}

TJob_FilesAndFolders::TJob_FilesAndFolders(const QString& JobName) : TJob(JobName) {
    NewSubfolderIsCreatedForEachBackup = true;
}

TJob_DriveImage::TJob_DriveImage(const QString& JobName) : TJob(JobName) {
    CanPause = false;
    NewSubfolderIsCreatedForEachBackup = true;
}

} // namespace morvane
