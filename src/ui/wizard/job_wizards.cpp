#include "ui/wizard/job_wizards.h"

#include "control/source_tree_model.h"
#include "control/user_prompt.h"
#include "i18n/translation.h"
#include "ui/wizard/wizard_parts.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <limits>

namespace morvane {

namespace {

QStringList Headings(bool files) {
    QStringList headings{Translate(QStringLiteral("What do you want to backup?")),
                         Translate(QStringLiteral("Where to store your backup?"))};
    if (files)
        headings.append(Translate(QStringLiteral("Choose backup method")));
    headings.append(Translate(QStringLiteral("When to start backup?")));
    return headings;
}

QSpinBox* NumberField(QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    return box;
}

} // namespace

TWizardWindow::TWizardWindow(IUserPrompt& prompt, QWidget* parent)
    : QDialog(parent), Heading(new QLabel(this)), Pages(new QStackedWidget(this)),
      Back(new QPushButton(this)), Next(new QPushButton(this)), Save(new QToolButton(this)),
      Cancel(new QPushButton(this)), prompt_(prompt), offThread_(new TOffThreadCalls(this)) {
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    Back->setObjectName(QStringLiteral("btBack"));
    Next->setObjectName(QStringLiteral("btNext"));
    Save->setObjectName(QStringLiteral("btSave"));
    Cancel->setObjectName(QStringLiteral("btCancel"));
    QFont headingFont = Heading->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.3);
    Heading->setFont(headingFont);

    auto* menu = new QMenu(Save);
    SaveOnly = menu->addAction(QString());
    SaveAndRun = menu->addAction(QString());
    SaveOnly->setObjectName(QStringLiteral("actSave"));
    SaveAndRun->setObjectName(QStringLiteral("actSaveAndRun"));
    Save->setMenu(menu);
    Save->setPopupMode(QToolButton::MenuButtonPopup);
    Save->setToolButtonStyle(Qt::ToolButtonTextOnly);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QWidget* button : std::initializer_list<QWidget*>{Back, Next, Save, Cancel})
        buttons->addWidget(button);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Heading);
    layout->addWidget(Pages, 1);
    layout->addLayout(buttons);

    connect(Next, &QPushButton::clicked, this, [this] { NextClicked(); });
    connect(Save, &QToolButton::clicked, this, [this] { SaveClicked(wrSave); });
    connect(SaveOnly, &QAction::triggered, this, [this] { SaveClicked(wrSave); });
    connect(SaveAndRun, &QAction::triggered, this, [this] { SaveClicked(wrSaveAndRun); });
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
    resize(640, 480);
}

void TWizardWindow::TranslateButtons() {
    Back->setText(morvane::Translate(QStringLiteral("Back")));
    Next->setText(morvane::Translate(QStringLiteral("Next")));
    Save->setText(morvane::Translate(QStringLiteral("Save")));
    SaveOnly->setText(morvane::Translate(QStringLiteral("Save")));
    // The doubled ampersand shows as one.
    SaveAndRun->setText(morvane::Translate(QStringLiteral("Save && Run")));
    Cancel->setText(morvane::Translate(QStringLiteral("Cancel")));
}

void TWizardWindow::ShowPage(const TWizardPages& pages, const QStringList& headings) {
    Pages->setCurrentIndex(pages.Page());
    Heading->setText(headings.value(pages.Page()));
    Back->setEnabled(pages.BackEnabled());
    Next->setEnabled(pages.NextEnabled());
    Save->setEnabled(pages.SaveEnabled());
    (pages.NextEnabled() ? static_cast<QWidget*>(Next) : Save)->setFocus();
    if (lookups_ > 0)
        HoldButtons();
}

void TWizardWindow::HoldButtons() {
    Back->setEnabled(false);
    Next->setEnabled(false);
    Save->setEnabled(false);
}

void TWizardWindow::ShowModal() {
    exec();
    ++showing_;
    lookups_ = 0;
}

// ---- files and folders

TfrmWizard_FilesBackup::TfrmWizard_FilesBackup(IUserPrompt& prompt, QWidget* parent)
    : TWizardWindow(prompt, parent), Tree(new TSourceTreeModel({}, this)), TreeView(new QTreeView(this)),
      ViewAsList(new QLabel(this)), ShowHidden(new QCheckBox(this)), Filter(new QComboBox(this)),
      Extensions(new QLineEdit(this)), External(new QRadioButton(this)), ExternalPath(new QLineEdit(this)),
      ChooseExternal(new QPushButton(this)), Network(new QRadioButton(this)),
      NetworkBox(new TNetworkBox(prompt, this)), Mirror(new QRadioButton(this)), Full(new QRadioButton(this)),
      Incremental(new QRadioButton(this)), FullEvery(NumberField(this)), Keep(NumberField(this)),
      RemoveOldFirst(new QCheckBox(this)), Schedule(new TSchedulePage(prompt, this)),
      ListViewer(new TfrmListViewer(this)) {
    setObjectName(QStringLiteral("frmWizard_FilesBackup"));
    TreeView->setObjectName(QStringLiteral("tvSources"));
    ExternalPath->setObjectName(QStringLiteral("edExternalPath"));
    Extensions->setObjectName(QStringLiteral("edExtensions"));
    TreeView->setModel(Tree);
    TreeView->header()->hide();
    ViewAsList->setObjectName(QStringLiteral("lbViewAsList"));
    ViewAsList->setTextFormat(Qt::RichText);
    ViewAsList->setCursor(Qt::PointingHandCursor);
    for (int i = 0; i < 3; ++i)
        Filter->addItem(QString());

    // Sources
    auto* sources = new QWidget;
    auto* sourcesLayout = new QVBoxLayout(sources);
    sourcesLayout->addWidget(TreeView, 1);
    auto* under = new QHBoxLayout;
    under->addWidget(ViewAsList);
    under->addStretch();
    under->addWidget(ShowHidden);
    sourcesLayout->addLayout(under);
    auto* filter = new QHBoxLayout;
    filter->addWidget(Filter);
    filter->addWidget(Extensions, 1);
    sourcesLayout->addLayout(filter);
    Pages->addWidget(sources);

    // Destination
    auto* destination = new QWidget;
    auto* destinationLayout = new QVBoxLayout(destination);
    destinationLayout->addWidget(External);
    auto* externalRow = new QHBoxLayout;
    externalRow->addWidget(ExternalPath, 1);
    externalRow->addWidget(ChooseExternal);
    destinationLayout->addLayout(externalRow);
    destinationLayout->addWidget(Network);
    destinationLayout->addWidget(NetworkBox);
    destinationLayout->addStretch();
    auto* destinationChoice = new QButtonGroup(destination);
    destinationChoice->addButton(External);
    destinationChoice->addButton(Network);
    Pages->addWidget(destination);

    // Method
    auto* method = new QWidget;
    auto* methodLayout = new QGridLayout(method);
    methodLayout->addWidget(Mirror, 0, 0, 1, 3);
    methodLayout->addWidget(Full, 1, 0, 1, 3);
    methodLayout->addWidget(Incremental, 2, 0, 1, 3);
    for (int i = 0; i < 4; ++i)
        methodCaptions_.append(new QLabel(method));
    methodLayout->addWidget(methodCaptions_[0], 3, 0);
    methodLayout->addWidget(FullEvery, 3, 1);
    methodLayout->addWidget(methodCaptions_[1], 3, 2);
    methodLayout->addWidget(methodCaptions_[2], 4, 0);
    methodLayout->addWidget(Keep, 4, 1);
    methodLayout->addWidget(methodCaptions_[3], 4, 2);
    methodLayout->addWidget(RemoveOldFirst, 5, 0, 1, 3);
    methodLayout->setRowStretch(6, 1);
    methodLayout->setColumnStretch(2, 1);
    auto* methodChoice = new QButtonGroup(method);
    for (QRadioButton* button : {Mirror, Full, Incremental})
        methodChoice->addButton(button);
    Pages->addWidget(method);

    Pages->addWidget(Schedule);

    connect(Tree, &TSourceTreeModel::SelectionChanged, this, &TfrmWizard_FilesBackup::UpdateListLink);
    connect(ShowHidden, &QCheckBox::toggled, Tree, &TSourceTreeModel::SetShowHidden);
    connect(Filter, &QComboBox::currentIndexChanged, this, [this] { ApplyEnabling(); });
    for (QRadioButton* button : {External, Network, Mirror, Full, Incremental})
        connect(button, &QRadioButton::toggled, this, [this] { ApplyEnabling(); });
    const std::pair<QRadioButton*, TBackupType> methods[] = {
        {Mirror, btSync}, {Full, btFull}, {Incremental, btInc}};
    for (const auto& [button, type] : methods)
        connect(button, &QRadioButton::clicked, this, [this, type = type] {
            if (const std::optional<TWizardMessage> message = wizard_->ChooseBackupType(type))
                ShowWizardMessage(prompt_, *message);
        });
    connect(ChooseExternal, &QPushButton::clicked, this, [this] {
        if (const auto folder = prompt_.ChooseFolder(
                morvane::Translate(QStringLiteral("Choose an output folder")), QString()))
            ExternalPath->setText(*folder);
    });
    connect(ViewAsList, &QLabel::linkActivated, this, [this] {
        ListViewer->ShowList(Tree->Selection());
        ListViewer->exec();
    });
    connect(Back, &QPushButton::clicked, this, [this] {
        Store();
        wizard_->Back();
        Refresh();
    });
}

void TfrmWizard_FilesBackup::Translate() {
    TranslateButtons();
    Filter->setItemText(0, morvane::Translate(QStringLiteral("No filters")));
    Filter->setItemText(1, morvane::Translate(QStringLiteral("Include only extensions:")));
    Filter->setItemText(2, morvane::Translate(QStringLiteral("Exclude extensions:")));
    ShowHidden->setText(morvane::Translate(QStringLiteral("Show hidden folders")));
    External->setText(morvane::Translate(QStringLiteral("External device (path):")));
    ChooseExternal->setText(morvane::Translate(QStringLiteral("Choose...")));
    Network->setText(morvane::Translate(QStringLiteral("Network storage (UNC - path):")));
    NetworkBox->Translate();
    Mirror->setText(morvane::Translate(
        QStringLiteral("Mirror (update files in destination to maintain a mirror copy of the sources)")));
    Full->setText(morvane::Translate(QStringLiteral("Full (create full copy of the sources every time)")));
    // The doubled ampersand shows as one.
    Incremental->setText(morvane::Translate(
        QStringLiteral("Incremental (copy new and modified files && folders since previous backup)")));
    methodCaptions_[0]->setText(morvane::Translate(QStringLiteral("Create full copy after every ")));
    methodCaptions_[1]->setText(morvane::Translate(QStringLiteral("increments")));
    methodCaptions_[2]->setText(morvane::Translate(QStringLiteral("To save space on device, keep only")));
    methodCaptions_[3]->setText(morvane::Translate(QStringLiteral("last full copies")));
    RemoveOldFirst->setText(
        morvane::Translate(QStringLiteral("Remove old copies BEFORE starting new backup")));
    Schedule->Translate();
}

void TfrmWizard_FilesBackup::UpdateListLink() {
    ViewAsList->setText(QStringLiteral("<a href=\"list\" style=\"color:#0965b0\">%1 (%2)</a>")
                            .arg(morvane::Translate(QStringLiteral("View as list")).toHtmlEscaped())
                            .arg(Tree->Selection().size()));
}

void TfrmWizard_FilesBackup::Load() {
    const TFilesWizard& w = *wizard_;
    Tree->Reload();
    Tree->SetSelection(w.Sources);
    // The keyboard starts on the first folder (the home folder), ready to be opened.
    TreeView->setCurrentIndex(Tree->index(0, 0));
    Filter->setCurrentIndex(static_cast<int>(w.FilterType));
    Extensions->setText(w.Extensions);
    External->setChecked(!w.Destination.Network);
    Network->setChecked(w.Destination.Network);
    ExternalPath->setText(w.Destination.LocalPath);
    NetworkBox->Load(w.Destination);
    Mirror->setChecked(w.BackupType == btSync);
    Full->setChecked(w.BackupType == btFull);
    Incremental->setChecked(w.BackupType == btInc);
    FullEvery->setValue(w.FullBackupEveryCopies);
    Keep->setValue(w.FullCopiesToKeep);
    RemoveOldFirst->setChecked(w.RemoveOldFirst);
    Schedule->Load(w.Schedule);
    UpdateListLink();
}

void TfrmWizard_FilesBackup::Store() {
    TFilesWizard& w = *wizard_;
    w.Sources = Tree->Selection();
    w.FilterType = static_cast<TFilterType>(Filter->currentIndex());
    w.Extensions = Extensions->text();
    w.Destination.Network = Network->isChecked();
    w.Destination.LocalPath = ExternalPath->text();
    NetworkBox->Store(w.Destination);
    w.BackupType = Mirror->isChecked() ? btSync : Full->isChecked() ? btFull : btInc;
    w.FullBackupEveryCopies = FullEvery->value();
    w.FullCopiesToKeep = Keep->value();
    w.RemoveOldFirst = RemoveOldFirst->isChecked();
    Schedule->Store(w.Schedule);
}

void TfrmWizard_FilesBackup::ApplyEnabling() {
    Extensions->setEnabled(Filter->currentIndex() != 0);
    const bool network = Network->isChecked();
    ExternalPath->setEnabled(!network);
    ChooseExternal->setEnabled(!network);
    NetworkBox->setEnabled(network);
    const bool fullEvery = Incremental->isChecked();
    const bool keep = !Mirror->isChecked();
    methodCaptions_[0]->setEnabled(fullEvery);
    methodCaptions_[1]->setEnabled(fullEvery);
    FullEvery->setEnabled(fullEvery);
    for (QWidget* widget :
         std::initializer_list<QWidget*>{methodCaptions_[2], methodCaptions_[3], Keep, RemoveOldFirst})
        widget->setEnabled(keep);
}

void TfrmWizard_FilesBackup::Refresh() {
    ShowPage(*wizard_, Headings(true));
    ApplyEnabling();
    // The page's first field takes the keyboard.
    if (wizard_->Page() == TFilesWizard::pgSources)
        TreeView->setFocus();
    else if (wizard_->Page() == TFilesWizard::pgDestination)
        (External->isChecked() ? static_cast<QWidget*>(ExternalPath) : NetworkBox->Path)->setFocus();
}

void TfrmWizard_FilesBackup::NextClicked() {
    Store();
    const QString folder = wizard_->FolderToCheck();
    if (folder.isEmpty()) {
        MoveOn(std::nullopt);
        return;
    }
    LookUp([folder] { return LocalFolderExists(folder); },
           [this, folder](bool exists) {
               // The answer is for the folder that was typed when Next was pressed.
               if (wizard_->FolderToCheck() == folder)
                   MoveOn(exists);
               else
                   Refresh();
           });
}

void TfrmWizard_FilesBackup::MoveOn(std::optional<bool> folderExists) {
    wizard_->Next(
        prompt_,
        [this](const QStringList& sources) {
            ListViewer->ShowList(sources);
            ListViewer->exec();
        },
        folderExists);
    // The normalised extension text is shown as it will be stored.
    Extensions->setText(wizard_->Extensions);
    Refresh();
}

void TfrmWizard_FilesBackup::SaveClicked(TWizardResult result) {
    Store();
    if (wizard_->Save(prompt_, result))
        accept();
}

void TfrmWizard_FilesBackup::Run(TFilesWizard& wizard, const QString& title) {
    wizard_ = &wizard;
    wizard.ResetResult();
    setWindowTitle(title);
    Translate();
    Load();
    Schedule->ResetAddTime();
    Refresh();
    if (!wizard.Sources.isEmpty())
        // A source of an opened job may have gone since it was saved: it is no longer offered.
        LookUp([sources = wizard.Sources] { return MissingSources(sources); },
               [this](const QStringList& missing) {
                   wizard_->Sources = Tree->Selection();
                   wizard_->DropSources(missing);
                   Tree->SetSelection(wizard_->Sources);
                   UpdateListLink();
                   Refresh();
               });
    ShowModal();
    Store();
    wizard_ = nullptr;
}

// ---- drive image

TfrmWizard_DriveImageBackup::TfrmWizard_DriveImageBackup(IUserPrompt& prompt, QWidget* parent)
    : TWizardWindow(prompt, parent), Drives(new QListWidget(this)), Disk(new QRadioButton(this)),
      DiskChooser(new QComboBox(this)), Network(new QRadioButton(this)),
      NetworkBox(new TNetworkBox(prompt, this)), KeepVersions(new QCheckBox(this)),
      Versions(new QLineEdit(this)), Schedule(new TSchedulePage(prompt, this)) {
    setObjectName(QStringLiteral("frmWizard_DriveImageBackup"));
    Drives->setObjectName(QStringLiteral("lbDrives"));
    DiskChooser->setObjectName(QStringLiteral("cbDisk"));
    Pages->addWidget(Drives);

    auto* destination = new QWidget;
    auto* layout = new QVBoxLayout(destination);
    auto* diskRow = new QHBoxLayout;
    diskRow->addWidget(Disk);
    diskRow->addWidget(DiskChooser, 1);
    layout->addLayout(diskRow);
    layout->addWidget(Network);
    layout->addWidget(NetworkBox);
    auto* versionsRow = new QHBoxLayout;
    versionsRow->addWidget(KeepVersions);
    versionsRow->addWidget(Versions);
    versionsRow->addStretch();
    layout->addLayout(versionsRow);
    layout->addStretch();
    auto* choice = new QButtonGroup(destination);
    choice->addButton(Disk);
    choice->addButton(Network);
    Pages->addWidget(destination);
    Pages->addWidget(Schedule);

    for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{Disk, Network, KeepVersions})
        connect(button, &QAbstractButton::toggled, this, [this] { ApplyEnabling(); });
    connect(Back, &QPushButton::clicked, this, [this] {
        Store();
        wizard_->Back();
        Refresh();
    });
}

void TfrmWizard_DriveImageBackup::Translate() {
    TranslateButtons();
    Disk->setText(morvane::Translate(QStringLiteral("Disk:")));
    Network->setText(morvane::Translate(QStringLiteral("Network")));
    NetworkBox->Translate();
    NetworkBox->PathCaption->setText(morvane::Translate(QStringLiteral("UNC - path:")));
    NetworkBox->SetPassword->setText(morvane::Translate(QStringLiteral("Set Password")) +
                                     QStringLiteral("..."));
    KeepVersions->setText(
        morvane::Translate(QStringLiteral("Keep the following number of backup versions:")));
    Schedule->Translate();
}

void TfrmWizard_DriveImageBackup::Load() {
    const TImageWizard& w = *wizard_;
    ShowVolumes({});
    volumesShown_ = false;
    // Asking a disk for its size can wait for it to spin up.
    LookUp([] { return MachineVolumes(); },
           [this](const QList<TVolumeEntry>& volumes) {
               ShowVolumes(volumes);
               Refresh();
           });
    Disk->setChecked(!w.Destination.Network);
    Network->setChecked(w.Destination.Network);
    NetworkBox->Load(w.Destination);
    KeepVersions->setChecked(w.KeepVersions);
    Versions->setText(w.VersionsToKeep);
    Schedule->Load(w.Schedule);
}

void TfrmWizard_DriveImageBackup::ShowVolumes(const QList<TVolumeEntry>& volumes) {
    const TImageWizard& w = *wizard_;
    Drives->clear();
    DiskChooser->clear();
    for (const TVolumeEntry& volume : volumes) {
        auto* item = new QListWidgetItem(volume.DisplayText(), Drives);
        item->setData(Qt::UserRole, volume.RootPath);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(w.CheckedDrives.contains(volume.RootPath) ? Qt::Checked : Qt::Unchecked);
        DiskChooser->addItem(volume.DisplayText(), volume.RootPath);
    }
    DiskChooser->setCurrentIndex(DiskChooser->findData(w.DestinationDrive));
    volumesShown_ = true;
}

void TfrmWizard_DriveImageBackup::Store() {
    TImageWizard& w = *wizard_;
    if (volumesShown_) {
        for (int i = 0; i < Drives->count(); ++i)
            w.SetDriveChecked(Drives->item(i)->data(Qt::UserRole).toString(),
                              Drives->item(i)->checkState() == Qt::Checked);
        w.DestinationDrive = DiskChooser->currentData().toString();
    }
    w.Destination.Network = Network->isChecked();
    NetworkBox->Store(w.Destination);
    w.KeepVersions = KeepVersions->isChecked();
    w.VersionsToKeep = Versions->text();
    Schedule->Store(w.Schedule);
}

void TfrmWizard_DriveImageBackup::ApplyEnabling() {
    NetworkBox->setEnabled(Network->isChecked());
    DiskChooser->setEnabled(Disk->isChecked());
    Versions->setEnabled(KeepVersions->isChecked());
}

void TfrmWizard_DriveImageBackup::Refresh() {
    ShowPage(*wizard_, Headings(false));
    ApplyEnabling();
    if (wizard_->Page() == TImageWizard::pgDisks) {
        Drives->setFocus();
        if (!Drives->currentItem() && Drives->count() > 0)
            Drives->setCurrentRow(0);
    }
}

void TfrmWizard_DriveImageBackup::NextClicked() {
    Store();
    wizard_->Next(prompt_);
    Refresh();
}

void TfrmWizard_DriveImageBackup::SaveClicked(TWizardResult result) {
    Store();
    if (wizard_->Save(prompt_, result))
        accept();
}

void TfrmWizard_DriveImageBackup::Run(TImageWizard& wizard, const QString& title) {
    wizard_ = &wizard;
    wizard.ResetResult();
    setWindowTitle(title);
    Translate();
    Load();
    Schedule->ResetAddTime();
    Refresh();
    ShowModal();
    Store();
    wizard_ = nullptr;
}

// ---- new job

TfrmNewBackupJob::TfrmNewBackupJob(QWidget* parent)
    : QDialog(parent), Edit1(new QLineEdit(this)), rbFilesAndFolders(new QRadioButton(this)),
      rbDriveBackup(new QRadioButton(this)), nameCaption_(new QLabel(this)), kindCaption_(new QLabel(this)),
      ok_(new QPushButton(this)), cancel_(new QPushButton(this)) {
    setObjectName(QStringLiteral("frmNewBackupJob"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    rbFilesAndFolders->setObjectName(QStringLiteral("rbFilesAndFolders"));
    rbDriveBackup->setObjectName(QStringLiteral("rbDriveBackup"));
    ok_->setObjectName(QStringLiteral("btOK"));
    ok_->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(nameCaption_);
    layout->addWidget(Edit1);
    layout->addWidget(kindCaption_);
    layout->addWidget(rbFilesAndFolders);
    layout->addWidget(rbDriveBackup);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

std::optional<IJobWizardWindows::TNewJobChoice> TfrmNewBackupJob::Ask() {
    setWindowTitle(morvane::Translate(QStringLiteral("New Backup Job")));
    nameCaption_->setText(morvane::Translate(QStringLiteral("Specify name for backup job:")));
    kindCaption_->setText(morvane::Translate(QStringLiteral("Select backup type:")));
    rbFilesAndFolders->setText(
        morvane::Translate(QStringLiteral("Files and folders (backup selected paths)")));
    rbDriveBackup->setText(morvane::Translate(
        QStringLiteral("Drive image (backup everything including Windows, files, system settings etc).")));
    ok_->setText(morvane::Translate(QStringLiteral("OK")));
    cancel_->setText(morvane::Translate(QStringLiteral("Cancel")));
    Edit1->clear();
    rbFilesAndFolders->setChecked(true);
    Edit1->setFocus();
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return IJobWizardWindows::TNewJobChoice{
        Edit1->text(), rbDriveBackup->isChecked() ? TJob::Kind::DriveImage : TJob::Kind::FilesAndFolders};
}

TWizardWindows::TWizardWindows(IUserPrompt& prompt, QWidget* parent)
    : newJob_(new TfrmNewBackupJob(parent)), files_(new TfrmWizard_FilesBackup(prompt, parent)),
      image_(new TfrmWizard_DriveImageBackup(prompt, parent)) {}

} // namespace morvane
