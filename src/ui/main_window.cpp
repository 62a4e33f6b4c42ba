#include "ui/main_window.h"

#include "control/job_wizard_commands.h"
#include "control/window_placement.h"
#include "i18n/catalogue_loader.h"
#include "i18n/translation.h"
#include "options/options.h"
#include "platform/program_state.h"
#include "ui/job_row_delegate.h"
#include "ui/open_job_dialog.h"
#include "ui/options_window.h"
#include "ui/wizard/job_wizards.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace morvane {

namespace {

// Designed widths of the first three header sections; the last takes the rest.
constexpr int DesignedSectionWidths[] = {150, 340, 80};
constexpr int DesignedEventsHeight = 140;

QIcon ThemeIcon(const QString& name) {
    QIcon icon = QIcon::fromTheme(name);
    if (icon.isNull())
        icon = QIcon::fromTheme(name + QStringLiteral("-symbolic"));
    return icon;
}

// A menu caption with its first letter as the keyboard mnemonic.
QString WithMnemonic(const QString& text) {
    QString escaped = text;
    escaped.replace(u'&', QStringLiteral("&&"));
    return u'&' + escaped;
}

QString Ellipsis(const QString& text, bool append) {
    return append ? text + QStringLiteral("...") : text;
}

} // namespace

TfrmMainOrvellaBackup::TfrmMainOrvellaBackup(TJobsCatalogue& catalogue, IUserPrompt& prompt,
                                             IReportViewer& viewer, TRestoreDialogs& restoreDialogs,
                                             TDriveImageRestoreGuidance& imageGuidance,
                                             std::function<bool()> busy, SettingsStore settings,
                                             QWidget* parent)
    : QMainWindow(parent), catalogue_(catalogue), prompt_(prompt), settings_(std::move(settings)) {
    setObjectName(QStringLiteral("frmMainOrvellaBackup"));
    setWindowTitle(QString::fromUtf16(ApplicationTitle));
    wizardWindows_ = std::make_unique<TWizardWindows>(prompt, this);
    wizardCommands_ = std::make_unique<TJobWizardCommands>(catalogue, prompt, *wizardWindows_, busy);
    commands_ =
        new TMainCommands(catalogue, prompt, viewer, restoreDialogs, imageGuidance, std::move(busy), this);
    openJobDialog_ = new TfrmOpenJobDialog(prompt, this);
    optionsWindow_ = new TfrmOptions(prompt, this);
    optionsCommand_ =
        std::make_unique<TOptionsCommand>(*optionsWindow_, prompt, SystemOptionsEffects(), GlobalOptions());
    commands_->SetImportDialog(openJobDialog_);
    commands_->SetFilesDuplicateEditor(
        [this](const TJob_FilesAndFolders& source, const QString& name, const QString& typed) {
            return wizardCommands_->DuplicateFilesJob(source, name, typed);
        });
    rows_ = new TJobRowsModel(this);
    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateCentralArea();
    CreateStatusBar();
    ConnectCommands();
    UpdateLanguageMenu();
    TranslateInterface();
    RefreshRows();
    if (rows_->rowCount() > 0)
        SelectRow(0);
    ApplyCommandState();
    // Wide enough for the tool bar's captions in the longer languages, within the screen.
    QSize size(1120, 600);
    if (const QScreen* screen = this->screen())
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(size);
    LoadFormPosAndView();
}

TfrmMainOrvellaBackup::~TfrmMainOrvellaBackup() = default;

void TfrmMainOrvellaBackup::CreateActions() {
    auto make = [this](const char* name, const QString& icon, const QKeySequence& shortcut = QKeySequence()) {
        auto* action = new QAction(this);
        action->setObjectName(QString::fromLatin1(name));
        if (!icon.isEmpty())
            action->setIcon(ThemeIcon(icon));
        if (!shortcut.isEmpty())
            action->setShortcut(shortcut);
        return action;
    };
    ActionNewJob = make("ActionNewJob", QStringLiteral("document-new"), QKeySequence::New);
    ActionOpen = make("ActionOpen", QStringLiteral("document-open"), QKeySequence::Open);
    ActionProperties =
        make("ActionProperties", QStringLiteral("document-properties"), Qt::ALT | Qt::Key_Return);
    ActionDuplicate = make("ActionDuplicate", QStringLiteral("edit-copy"), Qt::CTRL | Qt::Key_D);
    ActionRename = make("ActionRename", QStringLiteral("format-text-direction-ltr"), Qt::Key_F2);
    ActionRemove = make("ActionRemove", QStringLiteral("edit-delete"), QKeySequence::Delete);
    ActionBackup = make("ActionBackup", QStringLiteral("document-save"), Qt::CTRL | Qt::Key_B);
    ActionRestore = make("ActionRestore", QStringLiteral("document-revert"), Qt::CTRL | Qt::Key_R);
    ActionPause = make("ActionPause", QStringLiteral("media-playback-pause"), Qt::CTRL | Qt::Key_P);
    ActionResume = make("ActionResume", QStringLiteral("media-playback-start"));
    ActionCancel = make("ActionCancel", QStringLiteral("process-stop"), Qt::CTRL | Qt::Key_Period);
    ActionPauseAll = make("ActionPauseAll", QString(), Qt::CTRL | Qt::SHIFT | Qt::Key_P);
    ActionCancelAll = make("ActionCancelAll", QString(), Qt::CTRL | Qt::SHIFT | Qt::Key_Period);
    ActionViewLog = make("ActionViewLog", QStringLiteral("text-x-generic"), Qt::CTRL | Qt::Key_L);
    ActionViewHistory =
        make("ActionViewHistory", QStringLiteral("document-open-recent"), Qt::CTRL | Qt::Key_H);
    ActionOptions = make("ActionOptions", QStringLiteral("preferences-system"), QKeySequence::Preferences);
    ActionUserGuide = make("ActionUserGuide", QStringLiteral("help-contents"), QKeySequence::HelpContents);
    ActionSupport = make("ActionSupport", QString());
    ActionWebsite = make("ActionWebsite", QString());
    ActionAbout = make("ActionAbout", QStringLiteral("help-about"));
    ActionMinimize = make("ActionMinimize", QString(), Qt::CTRL | Qt::Key_M);
    ActionQuit = make("ActionQuit", QStringLiteral("application-exit"), QKeySequence::Quit);
    ActionMoveUp = make("ActionMoveUp", QStringLiteral("go-up"), Qt::CTRL | Qt::Key_Up);
    ActionMoveDown = make("ActionMoveDown", QStringLiteral("go-down"), Qt::CTRL | Qt::Key_Down);
    Create1 = make("Create1", QString());
}

void TfrmMainOrvellaBackup::CreateMenus() {
    File1 = menuBar()->addMenu(QString());
    File1->addActions({ActionNewJob, ActionOpen});
    File1->addSeparator();
    File1->addActions({ActionMinimize, ActionQuit});
    Edit1 = menuBar()->addMenu(QString());
    Edit1->addActions({ActionProperties, ActionRename, ActionDuplicate, ActionRemove});
    Edit1->addSeparator();
    Edit1->addActions({ActionMoveUp, ActionMoveDown});
    Run1 = menuBar()->addMenu(QString());
    Run1->addActions({ActionBackup, ActionRestore});
    Run1->addSeparator();
    Run1->addActions({ActionPause, ActionCancel});
    Run1->addSeparator();
    Run1->addActions({ActionPauseAll, ActionCancelAll});
    ools1 = menuBar()->addMenu(QString());
    ools1->addAction(ActionOptions);
    ools1->addSeparator();
    ools1->addActions({ActionViewHistory, ActionViewLog});
    PopupMenuLog = new QMenu(this);
    PopupMenuLog->setObjectName(QStringLiteral("PopupMenuLog"));
    connect(PopupMenuLog, &QMenu::aboutToShow, this, &TfrmMainOrvellaBackup::FillLogMenu);
    // The drop-down's logs are also reachable from the keyboard, through the Tools menu.
    recentLogs_ = ools1->addMenu(PopupMenuLog);
    ools1->addSeparator();
    mmLanguage = ools1->addMenu(QString());
    mmLanguage->setObjectName(QStringLiteral("mmLanguage"));
    languageGroup_ = new QActionGroup(this);
    languageGroup_->setExclusive(true);
    Help1 = menuBar()->addMenu(QString());
    Help1->addActions({ActionUserGuide, ActionSupport, ActionWebsite});
    Help1->addSeparator();
    Help1->addAction(ActionAbout);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->addActions({ActionProperties, ActionDuplicate, ActionRename, ActionRemove});
    PopupMenu1->addSeparator();
    PopupMenu1->addActions({ActionBackup, ActionRestore});
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(ActionViewLog);
    PopupMenu2 = new QMenu(this);
    PopupMenu2->addActions({ActionPause, ActionCancel});
    PopupMenu2->addSeparator();
    PopupMenu2->addActions({ActionPauseAll, ActionCancelAll});
    PopupMenu4 = new QMenu(this);
    PopupMenu4->addActions({Create1, ActionOpen});
    PopupMenu4->setDefaultAction(Create1);
}

void TfrmMainOrvellaBackup::CreateToolBar() {
    QToolBar* bar = addToolBar(QString());
    bar->setObjectName(QStringLiteral("panToolbar"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    btCreate = new QToolButton(bar);
    btCreate->setDefaultAction(ActionNewJob);
    btCreate->setMenu(PopupMenu4);
    btCreate->setPopupMode(QToolButton::MenuButtonPopup);
    btCreate->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->addWidget(btCreate);
    bar->addActions({ActionOpen, ActionProperties, ActionDuplicate, ActionRename, ActionRemove});
    bar->addSeparator();
    bar->addActions({ActionBackup, ActionRestore, ActionViewHistory});
    btViewLog = new QToolButton(bar);
    btViewLog->setObjectName(QStringLiteral("btViewLog"));
    btViewLog->setDefaultAction(ActionViewLog);
    btViewLog->setMenu(PopupMenuLog);
    btViewLog->setPopupMode(QToolButton::MenuButtonPopup);
    btViewLog->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->addWidget(btViewLog);
    bar->addSeparator();
    bar->addAction(ActionOptions);
    btAbout = new QToolButton(bar);
    btAbout->setObjectName(QStringLiteral("btAbout"));
    btAbout->setIcon(ThemeIcon(QStringLiteral("help-about")));
    btAbout->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    connect(btAbout, &QToolButton::clicked, ActionAbout, &QAction::trigger);
    bar->addWidget(btAbout);
}

void TfrmMainOrvellaBackup::CreateCentralArea() {
    auto* listPanel = new QWidget;
    auto* listLayout = new QHBoxLayout(listPanel);
    listLayout->setContentsMargins(4, 4, 4, 0);
    lbJobsList = new QTableView(listPanel);
    lbJobsList->setObjectName(QStringLiteral("lbJobsList"));
    lbJobsList->setModel(rows_);
    delegate_ = new TJobRowDelegate(lbJobsList);
    lbJobsList->setItemDelegate(delegate_);
    lbJobsList->setSelectionBehavior(QAbstractItemView::SelectRows);
    lbJobsList->setSelectionMode(QAbstractItemView::SingleSelection);
    lbJobsList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lbJobsList->setShowGrid(false);
    lbJobsList->setWordWrap(false);
    lbJobsList->setFocusPolicy(Qt::StrongFocus);
    lbJobsList->setContextMenuPolicy(Qt::CustomContextMenu);
    QFont listFont = lbJobsList->font();
    listFont.setPointSize(9);
    lbJobsList->setFont(listFont);
    lbJobsList->verticalHeader()->hide();
    lbJobsList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lbJobsList->verticalHeader()->setDefaultSectionSize(TJobRowDelegate::RowHeight(logicalDpiY()));
    QHeaderView* header = lbJobsList->horizontalHeader();
    header->setObjectName(QStringLiteral("HeaderControl1"));
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setStretchLastSection(true);
    for (int i = 0; i < 3; ++i)
        header->resizeSection(i, DesignedSectionWidths[i]);
    lbJobsList->installEventFilter(this);
    lbJobsList->viewport()->installEventFilter(this);
    listLayout->addWidget(lbJobsList, 1);

    auto* moveButtons = new QVBoxLayout;
    sbtMoveUp = new QToolButton(listPanel);
    sbtMoveUp->setObjectName(QStringLiteral("sbtMoveUp"));
    sbtMoveUp->setDefaultAction(ActionMoveUp);
    sbtMoveUp->setToolButtonStyle(Qt::ToolButtonIconOnly);
    sbtMoveDown = new QToolButton(listPanel);
    sbtMoveDown->setObjectName(QStringLiteral("sbtMoveDown"));
    sbtMoveDown->setDefaultAction(ActionMoveDown);
    sbtMoveDown->setToolButtonStyle(Qt::ToolButtonIconOnly);
    moveButtons->addWidget(sbtMoveUp);
    moveButtons->addWidget(sbtMoveDown);
    moveButtons->addStretch(1);
    listLayout->addLayout(moveButtons);

    auto* eventsPanel = new QWidget;
    eventsPanel->setObjectName(QStringLiteral("Panel7"));
    auto* eventsLayout = new QVBoxLayout(eventsPanel);
    eventsLayout->setContentsMargins(4, 0, 4, 0);
    auto* eventsHeader = new QHBoxLayout;
    Label2 = new QLabel(eventsPanel);
    SpeedButton1 = new QToolButton(eventsPanel);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setIcon(ThemeIcon(QStringLiteral("document-save-as")));
    SpeedButton1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    SpeedButton1->setAutoRaise(true);
    eventsHeader->addWidget(Label2);
    eventsHeader->addStretch(1);
    eventsHeader->addWidget(SpeedButton1);
    eventsLayout->addLayout(eventsHeader);
    Memo1 = new QPlainTextEdit(eventsPanel);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Label2->setBuddy(Memo1);
    eventsLayout->addWidget(Memo1, 1);

    splitter_ = new QSplitter(Qt::Vertical, this);
    splitter_->addWidget(listPanel);
    splitter_->addWidget(eventsPanel);
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 0);
    splitter_->setChildrenCollapsible(false);
    splitter_->setSizes({400, DesignedEventsHeight});
    setCentralWidget(splitter_);
}

void TfrmMainOrvellaBackup::CreateStatusBar() {
    statusJobs_ = new QLabel(this);
    statusRunning_ = new QLabel(this);
    statusCancelled_ = new QLabel(this);
    statusWeb_ = new QLabel(this);
    statusWeb_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    statusBar()->addWidget(statusJobs_);
    statusBar()->addWidget(statusRunning_);
    statusBar()->addWidget(statusCancelled_);
    statusBar()->addPermanentWidget(statusWeb_);
    statusTexts_.Update(TSchedulerCounts{catalogue_.Count(), 0, 0});
    ShowStatusTexts();
}

void TfrmMainOrvellaBackup::ConnectCommands() {
    connect(ActionBackup, &QAction::triggered, this, [this] { commands_->Backup(SelectedRow()); });
    connect(ActionRestore, &QAction::triggered, this, [this] { commands_->Restore(SelectedRow()); });
    connect(ActionPause, &QAction::triggered, this, [this] {
        if (commandState_.PauseIsResume)
            commands_->Resume(SelectedRow());
        else
            commands_->Pause(SelectedRow());
        RefreshRows();
    });
    connect(ActionResume, &QAction::triggered, this, [this] { commands_->Resume(SelectedRow()); });
    connect(ActionCancel, &QAction::triggered, this, [this] { commands_->Cancel(SelectedRow()); });
    connect(ActionPauseAll, &QAction::triggered, this, [this] { commands_->PauseAll(); });
    connect(ActionCancelAll, &QAction::triggered, this, [this] { commands_->CancelAll(); });
    connect(ActionViewLog, &QAction::triggered, this, [this] { commands_->ViewLog(SelectedRow()); });
    connect(ActionViewHistory, &QAction::triggered, this, [this] { commands_->ViewHistory(SelectedRow()); });
    connect(ActionAbout, &QAction::triggered, this, [this] { commands_->About(); });
    connect(ActionUserGuide, &QAction::triggered, this, [this] { OpenUrl(TMainCommands::UserGuideUrl()); });
    connect(ActionSupport, &QAction::triggered, this, [this] { OpenUrl(TMainCommands::SupportUrl()); });
    connect(ActionWebsite, &QAction::triggered, this, [this] { OpenUrl(TMainCommands::WebsiteUrl()); });
    connect(ActionMinimize, &QAction::triggered, this, &QWidget::close);
    connect(ActionQuit, &QAction::triggered, this, &TfrmMainOrvellaBackup::QuitRequested);
    connect(ActionMoveUp, &QAction::triggered, this, [this] { MoveSelected(true); });
    connect(ActionMoveDown, &QAction::triggered, this, [this] { MoveSelected(false); });
    connect(ActionNewJob, &QAction::triggered, this, &TfrmMainOrvellaBackup::NewJobRequested);
    connect(Create1, &QAction::triggered, this, &TfrmMainOrvellaBackup::NewJobRequested);
    connect(ActionOpen, &QAction::triggered, this, [this] { commands_->Import(); });
    connect(this, &TfrmMainOrvellaBackup::NewJobRequested, this, [this] {
        const bool noneSelected = SelectedRow() < 0;
        const int row = wizardCommands_->NewJob();
        if (row < 0)
            return;
        RefreshRows();
        if (noneSelected && catalogue_.Count() == 1)
            SelectRow(row);
        ApplyCommandState();
    });
    connect(this, &TfrmMainOrvellaBackup::SettingsRequested, this, [this](int row) {
        if (wizardCommands_->EditJob(row))
            RefreshRows();
        ApplyCommandState();
    });
    connect(ActionOptions, &QAction::triggered, this, &TfrmMainOrvellaBackup::OptionsRequested);
    connect(this, &TfrmMainOrvellaBackup::OptionsRequested, this, [this] { optionsCommand_->Run(); });
    connect(ActionProperties, &QAction::triggered, this, [this] { Q_EMIT SettingsRequested(SelectedRow()); });
    connect(ActionDuplicate, &QAction::triggered, this, [this] { commands_->Duplicate(SelectedRow()); });
    connect(ActionRename, &QAction::triggered, this, [this] { commands_->Rename(SelectedRow()); });
    connect(ActionRemove, &QAction::triggered, this, [this] { commands_->Remove(SelectedRow()); });
    // The rows follow the catalogue at once: a removed job's row must not outlive its job.
    connect(commands_, &TMainCommands::CatalogueChanged, this, [this](int row) {
        FlushEventsLog();
        RefreshRows();
        if (row >= 0 || SelectedRow() >= rows_->rowCount())
            SelectRow(row);
        ApplyCommandState();
    });
    connect(commands_, &TMainCommands::CatalogueCommandDone, this, [this] {
        FlushEventsLog();
        RefreshRows();
        ApplyCommandState();
    });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { events_.SaveToFile(prompt_); });
    connect(lbJobsList, &QWidget::customContextMenuRequested, this, &TfrmMainOrvellaBackup::ShowListMenu);
    connect(lbJobsList, &QAbstractItemView::doubleClicked, this, [this] {
        if (ActionProperties->isEnabled())
            ActionProperties->trigger();
    });
    connect(lbJobsList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { ApplyCommandState(); });
    // The job's state changes at once on these; the row shows it without waiting for the tick.
    for (QAction* action :
         {ActionBackup, ActionRestore, ActionCancel, ActionPauseAll, ActionCancelAll, ActionResume})
        connect(action, &QAction::triggered, this, [this] {
            RefreshRows();
            ApplyCommandState();
        });
    connect(commands_, &TMainCommands::RestoreStepDone, this, [this] {
        RefreshRows();
        ApplyCommandState();
    });
}

std::vector<TJob*> TfrmMainOrvellaBackup::Jobs() const {
    std::vector<TJob*> jobs;
    jobs.reserve(catalogue_.Count());
    for (int i = 0; i < catalogue_.Count(); ++i)
        jobs.push_back(&catalogue_.At(i));
    return jobs;
}

void TfrmMainOrvellaBackup::RefreshRows() {
    if (Program().ClosingRequested)
        return;
    rows_->Refresh(Jobs());
}

int TfrmMainOrvellaBackup::SelectedRow() const {
    const QModelIndexList selected = lbJobsList->selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void TfrmMainOrvellaBackup::SelectRow(int row) {
    if (row < 0 || row >= rows_->rowCount()) {
        lbJobsList->selectionModel()->clear();
        return;
    }
    const QModelIndex index = rows_->index(row, 0);
    lbJobsList->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                             QItemSelectionModel::Rows);
}

void TfrmMainOrvellaBackup::ApplyCommandState() {
    const TJob* job = rows_->JobAt(SelectedRow());
    const std::optional<TJobStatus> status =
        job ? std::optional<TJobStatus>(job->JobStatus.load()) : std::nullopt;
    commandState_ = CommandStateFor(status, commandState_);
    const bool idle = commandState_.IdleJobCommands;
    for (QAction* action : {ActionViewLog, ActionViewHistory, recentLogs_, ActionProperties, ActionDuplicate,
                            ActionRename, ActionRemove})
        action->setEnabled(idle);
    ActionMoveUp->setEnabled(job && SelectedRow() > 0);
    ActionMoveDown->setEnabled(job && SelectedRow() + 1 < rows_->rowCount());
    ActionBackup->setEnabled(commandState_.RunBackupRestore);
    ActionRestore->setEnabled(commandState_.RunBackupRestore);
    ActionPause->setEnabled(commandState_.RunPauseCancel);
    ActionCancel->setEnabled(commandState_.RunPauseCancel);
    ActionResume->setEnabled(commandState_.RunPauseCancel && commandState_.PauseIsResume);
    const QString pauseText = commandState_.PauseIsResume ? Translate(QStringLiteral("Resume"))
                                                          : Translate(QStringLiteral("Pause"));
    if (ActionPause->text() != pauseText) {
        ActionPause->setText(pauseText);
        ActionPause->setIcon(ThemeIcon(commandState_.PauseIsResume ? QStringLiteral("media-playback-start")
                                                                   : QStringLiteral("media-playback-pause")));
    }
}

void TfrmMainOrvellaBackup::ShowStatusTexts() {
    statusJobs_->setText(statusTexts_.Jobs());
    statusRunning_->setText(statusTexts_.Running());
    statusCancelled_->setText(statusTexts_.Cancelled());
}

void TfrmMainOrvellaBackup::FlushEventsLog() {
    if (!events_.Flush())
        return;
    QScrollBar* scroll = Memo1->verticalScrollBar();
    const int position = scroll->value();
    Memo1->setPlainText(events_.Lines().join(u'\n'));
    // Follow the newest line, unless the user is reading the panel.
    scroll->setValue(Memo1->hasFocus() ? position : scroll->maximum());
}

void TfrmMainOrvellaBackup::AppendEventsLine(const QString& line) {
    events_.AppendLine(line);
    QScrollBar* scroll = Memo1->verticalScrollBar();
    const int position = scroll->value();
    Memo1->setPlainText(events_.Lines().join(u'\n'));
    scroll->setValue(Memo1->hasFocus() ? position : scroll->maximum());
}

void TfrmMainOrvellaBackup::RefreshAfterTick(const TSchedulerCounts& counts) {
    if (Program().ClosingRequested)
        return;
    FlushEventsLog();
    RefreshRows();
    ApplyCommandState();
    if (statusTexts_.Update(counts))
        ShowStatusTexts();
}

void TfrmMainOrvellaBackup::CloseForElevatedInstance() {
    close();
}

void TfrmMainOrvellaBackup::ShowListMenu(const QPoint& position) {
    QPoint at = position;
    if (contextMenuByMouse_) {
        // The row under the pointer becomes the selected one; empty space leaves none selected.
        const QModelIndex index = lbJobsList->indexAt(position);
        SelectRow(index.isValid() ? index.row() : -1);
    } else if (const int row = SelectedRow(); row >= 0) {
        // From the keyboard: the selected row's menu, under that row.
        at = lbJobsList->visualRect(rows_->index(row, 0)).bottomLeft();
    }
    ApplyCommandState();
    QMenu* menu = commandState_.ListMenu == TJobListMenu::IdleJob     ? PopupMenu1
                  : commandState_.ListMenu == TJobListMenu::ActiveJob ? PopupMenu2
                                                                      : nullptr;
    if (menu)
        menu->popup(lbJobsList->viewport()->mapToGlobal(at));
}

void TfrmMainOrvellaBackup::FillLogMenu() {
    PopupMenuLog->clear();
    const int row = SelectedRow();
    if (!commandState_.IdleJobCommands)
        return;
    for (const QString& caption : commands_->LogMenuEntries(row)) {
        QAction* item = PopupMenuLog->addAction(caption);
        connect(item, &QAction::triggered, this,
                [this, row, caption] { commands_->OpenLogEntry(row, caption); });
    }
}

void TfrmMainOrvellaBackup::MoveSelected(bool up) {
    const int row = SelectedRow();
    if (row < 0)
        return;
    const int moved = up ? commands_->MoveUp(row) : commands_->MoveDown(row);
    RefreshRows();
    SelectRow(moved);
    ApplyCommandState();
}

void TfrmMainOrvellaBackup::OpenUrl(const QString& url) {
    if (urlOpener_)
        urlOpener_(QUrl(url));
    else
        QDesktopServices::openUrl(QUrl(url));
}

void TfrmMainOrvellaBackup::UpdateLanguageMenu() {
    const TranslationCatalogue& catalogue = Catalogue();
    for (int column = 0; column < catalogue.Table.size(); ++column) {
        const QStringList& cells = catalogue.Table[column];
        QAction* item = mmLanguage->addAction(cells.isEmpty() ? QString() : cells.first());
        item->setCheckable(true);
        item->setData(column);
        item->setChecked(column == catalogue.CurrentLanguageIndex);
        languageGroup_->addAction(item);
        connect(item, &QAction::triggered, this, [this, column] { SetInterfaceLanguage(column); });
    }
}

void TfrmMainOrvellaBackup::SetInterfaceLanguage(int index) {
    if (!morvane::SetInterfaceLanguage(index, settings_))
        return;
    for (QAction* item : languageGroup_->actions())
        item->setChecked(item->data().toInt() == index);
    TOptions& options = GlobalOptions();
    options.Language.iLanguage = Catalogue().CurrentLanguageIndex;
    options.Language.Translations = Catalogue().Table;
    TranslateInterface();
}

void TfrmMainOrvellaBackup::TranslateInterface() {
    const QString code = Catalogue().CurrentLanguageCode.toLower();
    const bool de = code == u"de";
    const bool pl = code == u"pl";
    ActionNewJob->setText(Ellipsis(Translate(QStringLiteral("New Job")), true));
    ActionDuplicate->setText(Translate(QStringLiteral("Duplicate")));
    ActionProperties->setText(Ellipsis(Translate(QStringLiteral("Settings")), !de));
    ActionOpen->setText(Ellipsis(Translate(QStringLiteral("Import")), true));
    Create1->setText(Translate(QStringLiteral("Create...")));
    ActionRename->setText(Ellipsis(Translate(QStringLiteral("Rename")), !de && !pl));
    ActionRemove->setText(Translate(QStringLiteral("Remove")));
    ActionBackup->setText(Translate(QStringLiteral("Backup")));
    ActionRestore->setText(Ellipsis(Translate(QStringLiteral("Restore")), !pl));
    ActionViewHistory->setText(Ellipsis(Translate(QStringLiteral("History")), true));
    ActionViewLog->setText(Ellipsis(Translate(QStringLiteral("Log")), true));
    ActionPauseAll->setText(Translate(QStringLiteral("Pause All")));
    ActionCancelAll->setText(Translate(QStringLiteral("Cancel All")));
    ActionOptions->setText(Ellipsis(Translate(QStringLiteral("Options")), true));
    ActionUserGuide->setText(Translate(QStringLiteral("User Guide")));
    ActionSupport->setText(Translate(QStringLiteral("Support")));
    ActionWebsite->setText(Translate(QStringLiteral("Website")));
    ActionAbout->setText(Translate(QStringLiteral("About")));
    ActionPause->setText(commandState_.PauseIsResume ? Translate(QStringLiteral("Resume"))
                                                     : Translate(QStringLiteral("Pause")));
    ActionResume->setText(Translate(QStringLiteral("Resume")));
    ActionCancel->setText(Translate(QStringLiteral("Cancel")));
    ActionQuit->setText(Translate(QStringLiteral("Quit")));
    ActionMinimize->setText(Translate(QStringLiteral("Minimize")));
    ActionMoveUp->setText(Translate(QStringLiteral("Move Up")));
    ActionMoveDown->setText(Translate(QStringLiteral("Move Down")));
    File1->setTitle(WithMnemonic(Translate(QStringLiteral("File"))));
    Edit1->setTitle(WithMnemonic(Translate(QStringLiteral("Edit"))));
    Run1->setTitle(WithMnemonic(Translate(QStringLiteral("Run"))));
    Help1->setTitle(WithMnemonic(Translate(QStringLiteral("Help"))));
    ools1->setTitle(WithMnemonic(Translate(QStringLiteral("Tools"))));
    mmLanguage->setTitle(Translate(QStringLiteral("Language")));
    PopupMenuLog->setTitle(Translate(QStringLiteral("Recent Logs")));
    Label2->setText(WithMnemonic(Translate(QStringLiteral("Events"))));
    SpeedButton1->setText(Translate(QStringLiteral("Save to file...")));
    SpeedButton1->setToolTip(Translate(QStringLiteral("Save to file...")));
    btAbout->setText(Ellipsis(Translate(QStringLiteral("About")), true));
    btCreate->setToolTip(ActionNewJob->text());
    lbJobsList->setAccessibleName(Translate(QStringLiteral("Jobs")));
    Memo1->setAccessibleName(Translate(QStringLiteral("Events")));
    rows_->Retranslate();

    const QFontMetrics metrics(statusBar()->font());
    // Room for the text plus the label's frame.
    const int pad = metrics.horizontalAdvance(QStringLiteral("00"));
    statusJobs_->setMinimumWidth(metrics.horizontalAdvance(TStatusBarTexts::WidestJobs()) + pad);
    statusRunning_->setMinimumWidth(metrics.horizontalAdvance(TStatusBarTexts::WidestRunning()) + pad);
    statusCancelled_->setMinimumWidth(metrics.horizontalAdvance(TStatusBarTexts::WidestCancelled()) + pad);
    const QString web = QString::fromUtf16(MakerWebAddress) + QStringLiteral("   ");
    statusWeb_->setText(web);
    statusWeb_->setMinimumWidth(metrics.horizontalAdvance(web + QStringLiteral("0000000")));
    if (statusTexts_.Retranslate())
        ShowStatusTexts();
}

void TfrmMainOrvellaBackup::LoadFormPosAndView() {
    const TWindowPlacement placement = TWindowPlacement::Load(settings_);
    if (!placement.AnyStored()) {
        if (const QScreen* screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
        return;
    }
    QRect frame = geometry();
    if (placement.X)
        frame.moveLeft(*placement.X);
    if (placement.Y)
        frame.moveTop(*placement.Y);
    if (placement.Width && *placement.Width > 0)
        frame.setWidth(*placement.Width);
    if (placement.Height && *placement.Height > 0)
        frame.setHeight(*placement.Height);
    resize(frame.size());
    move(frame.topLeft());
    if (placement.EventsHeight && *placement.EventsHeight > 0) {
        const int total = std::max(splitter_->height(), frame.height());
        splitter_->setSizes({std::max(1, total - *placement.EventsHeight), *placement.EventsHeight});
    }
    if (placement.Maximised)
        setWindowState(*placement.Maximised ? (windowState() | Qt::WindowMaximized)
                                            : (windowState() & ~Qt::WindowMaximized));
}

void TfrmMainOrvellaBackup::SaveFormPosAndView() {
    TWindowPlacement placement;
    const bool maximised = isMaximized();
    const QRect frame = maximised ? normalGeometry() : geometry();
    placement.X = pos().x();
    placement.Y = pos().y();
    if (maximised) {
        placement.X = frame.x();
        placement.Y = frame.y();
    }
    placement.Width = frame.width();
    placement.Height = frame.height();
    placement.Maximised = maximised;
    const QList<int> sizes = splitter_->sizes();
    placement.EventsHeight = sizes.size() > 1 ? sizes[1] : DesignedEventsHeight;
    placement.Save(settings_);
}

void TfrmMainOrvellaBackup::closeEvent(QCloseEvent* event) {
    SaveFormPosAndView();
    if (closeQuery_ && closeQuery_()) {
        event->accept();
        return;
    }
    event->ignore();
    hide();
}

bool TfrmMainOrvellaBackup::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == lbJobsList || watched == lbJobsList->viewport()) && event->type() == QEvent::ContextMenu)
        contextMenuByMouse_ = static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Mouse;
    if (watched != lbJobsList || event->type() != QEvent::KeyPress)
        return QMainWindow::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const int row = SelectedRow();
    switch (key->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (key->modifiers() & Qt::ControlModifier)
            return QMainWindow::eventFilter(watched, event);
        if (const int next = row + (key->key() == Qt::Key_Up ? -1 : 1); next >= 0 && next < rows_->rowCount())
            SelectRow(next);
        else if (row < 0 && rows_->rowCount() > 0)
            SelectRow(0);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (ActionProperties->isEnabled())
            ActionProperties->trigger();
        return true;
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Left:
    case Qt::Key_Right:
        // Only Up and Down move through the list.
        return true;
    default:
        return QMainWindow::eventFilter(watched, event);
    }
}

} // namespace morvane
