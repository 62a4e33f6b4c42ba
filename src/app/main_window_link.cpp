// The windows the desktop program is built with. Until the full main window and the dialogs are part
// of the program, a plain job table and message boxes stand in for them here.

#include "app/main_window_link.h"

#include "control/user_prompt.h"
#include "core/job_texts.h"
#include "core/jobs_catalogue.h"
#include "i18n/translation.h"
#include "jobs/events_log.h"
#include "options/options.h"
#include "platform/program_state.h"
#include "scheduler/scheduler_tick.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

namespace morvane {

namespace {

class TMessageBoxPrompt final : public IUserPrompt {
public:
    std::optional<QString> ChooseFolder(const QString& title, const QString& startFolder) override {
        const QString folder = QFileDialog::getExistingDirectory(nullptr, title, startFolder);
        return folder.isEmpty() ? std::nullopt : std::optional<QString>(folder);
    }
    std::optional<QString> ChooseSaveFile(const QString& title, const QString& filter,
                                          const QString& proposedName) override {
        const QString file = QFileDialog::getSaveFileName(nullptr, title, proposedName, filter);
        return file.isEmpty() ? std::nullopt : std::optional<QString>(file);
    }
    std::optional<int> ChooseItem(const QString& title, const QString& prompt,
                                  const QStringList& items) override {
        bool ok = false;
        const QString item = QInputDialog::getItem(nullptr, title, prompt, items, 0, false, &ok);
        return ok ? std::optional<int>(static_cast<int>(items.indexOf(item))) : std::nullopt;
    }
    bool Confirm(const QString& text) override {
        return QMessageBox::question(nullptr, QString::fromUtf16(ApplicationTitle), Plain(text)) ==
               QMessageBox::Yes;
    }
    void ShowError(const QString& text) override {
        QMessageBox::critical(nullptr, QString::fromUtf16(ApplicationTitle), Plain(text));
    }
    void ShowInformation(const QString& text) override {
        QMessageBox::information(nullptr, QString::fromUtf16(ApplicationTitle), Plain(text));
    }
    void ShowMessage(const QString& text) override {
        QMessageBox box(QMessageBox::NoIcon, QString::fromUtf16(ApplicationTitle), Plain(text),
                        QMessageBox::Ok);
        box.exec();
    }
    std::optional<QString> AskText(const QString& caption, const QString& prompt, const QString& initialText,
                                   bool secret) override {
        bool ok = false;
        const QString text = QInputDialog::getText(
            nullptr, caption, prompt, secret ? QLineEdit::Password : QLineEdit::Normal, initialText, &ok);
        return ok ? std::optional<QString>(text) : std::nullopt;
    }

private:
    static QString Plain(QString text) { return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }
};

class TCountdownDialog final : public IShutdownDialog {
public:
    explicit TCountdownDialog(std::function<TScheduler*()> scheduler) : scheduler_(std::move(scheduler)) {
        dialog_.setWindowTitle(QString::fromUtf16(ApplicationTitle));
        auto* layout = new QVBoxLayout(&dialog_);
        layout->addWidget(&label_);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, &dialog_);
        layout->addWidget(buttons);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog_, &QDialog::reject);
        QObject::connect(&dialog_, &QDialog::rejected, [this] {
            if (TScheduler* scheduler = scheduler_(); scheduler && !closing_)
                scheduler->Countdown().Cancel();
        });
        dialog_.setWindowFlag(Qt::WindowStaysOnTopHint);
    }
    void ShowShutdownMessage(const QString& message) override {
        label_.setText(message);
        dialog_.show();
        dialog_.raise();
    }
    void CloseShutdownDialog() override {
        closing_ = true;
        dialog_.hide();
        closing_ = false;
    }

private:
    std::function<TScheduler*()> scheduler_;
    QDialog dialog_;
    QLabel label_;
    bool closing_ = false;
};

class TJobTableWindow final : public QMainWindow, public IDesktopWindow {
public:
    TJobTableWindow(TJobsCatalogue& catalogue, THooks hooks)
        : catalogue_(catalogue), hooks_(std::move(hooks)) {
        setObjectName(QStringLiteral("TfrmMainOrvellaBackup"));
        setWindowTitle(QString::fromUtf16(ApplicationTitle) + u' ' + QString::fromUtf16(ApplicationVersion));
        setWindowIcon(ProgramIcon());
        resize(720, 420);
        auto* splitter = new QSplitter(Qt::Vertical, this);
        table_ = new QTableWidget(0, 3, splitter);
        table_->setObjectName(QStringLiteral("lbJobsList"));
        table_->horizontalHeader()->setVisible(false);
        table_->horizontalHeader()->setStretchLastSection(true);
        table_->verticalHeader()->setVisible(false);
        table_->setSelectionBehavior(QAbstractItemView::SelectRows);
        table_->setSelectionMode(QAbstractItemView::SingleSelection);
        table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        events_ = new QPlainTextEdit(splitter);
        events_->setReadOnly(true);
        events_->setLineWrapMode(QPlainTextEdit::NoWrap);
        setCentralWidget(splitter);
        AddShortcut(QKeySequence(Qt::CTRL | Qt::Key_B), [this] { BackupSelected(); });
        AddShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { hooks_.quit(); });
    }

    QWidget* Widget() override { return this; }
    void ShowMinimised() override { showMinimized(); }
    void SetHideMinimises(bool minimise) override { hideMinimises_ = minimise; }
    void JobsReloaded() override { Rebuild(); }
    void Translate() override { Rebuild(); }

    void RefreshAfterTick(const TSchedulerCounts&) override {
        if (panel_.FlushEventsLog(GlobalOptions().Logging.MaxNumberOfLinesInEventsLog))
            events_->setPlainText(panel_.Lines().join(u'\n'));
        Rebuild();
    }
    void CloseForElevatedInstance() override { close(); }

    bool IsShowing() const override { return isVisible() && !isMinimized(); }
    void ShowWindow() override {
        showNormal();
        raise();
        activateWindow();
    }

    void SaveFormPosAndView() override {}
    void HideWindow() override {
        if (hideMinimises_)
            showMinimized();
        else
            hide();
    }
    void AppendEventsLine(const QString& line) override {
        panel_.Append(line);
        events_->setPlainText(panel_.Lines().join(u'\n'));
    }
    void FinishClose() override {
        finished_ = true;
        hide();
        QApplication::quit();
    }

    void StartRestore(TJob&) override {}
    void RemoveWithoutConfirmation(int) override {}
    void ImportJobFile(const QString&) override {}

protected:
    void closeEvent(QCloseEvent* event) override {
        if (finished_) {
            event->accept();
            return;
        }
        event->ignore();
        hooks_.closeAttempt();
    }
    void showEvent(QShowEvent* event) override {
        QMainWindow::showEvent(event);
        Rebuild();
        hooks_.shown();
    }

private:
    template <typename F> void AddShortcut(const QKeySequence& keys, F work) {
        auto* action = new QAction(this);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, work);
        addAction(action);
    }
    void BackupSelected() {
        const int row = table_->currentRow();
        if (row < 0 || row >= catalogue_.Count())
            return;
        TJob& job = catalogue_.At(row);
        if (job.JobStatus == jsNone)
            job.JobStatus = jsWaiting;
        Rebuild();
    }
    void SetCell(int row, int column, const QString& text) {
        QTableWidgetItem* item = table_->item(row, column);
        if (!item) {
            item = new QTableWidgetItem();
            table_->setItem(row, column, item);
        }
        if (item->text() != text)
            item->setText(text);
    }
    void Rebuild() {
        if (Program().ClosingRequested)
            return;
        if (table_->rowCount() != catalogue_.Count())
            table_->setRowCount(catalogue_.Count());
        for (int row = 0; row < catalogue_.Count(); ++row) {
            const TJob& job = catalogue_.At(row);
            SetCell(row, 0, job.stJobName);
            const int progress = job.CurrentFileOperationProgress;
            QString status;
            if (job.JobStatus == jsCancelling)
                status = morvane::Translate(QStringLiteral("Cancelling"));
            else if (job.JobStatus != jsNone && job.JobStatus != jsWaiting && progress > 0 && progress < 100)
                status = QString::number(progress) + u'%';
            SetCell(row, 1, status);
            SetCell(row, 2, job.JobStatus == jsNone ? LastResultText(job) : QString());
        }
    }

    TJobsCatalogue& catalogue_;
    THooks hooks_;
    QTableWidget* table_;
    QPlainTextEdit* events_;
    TEventsPanel panel_;
    bool finished_ = false;
    bool hideMinimises_ = false;
};

} // namespace

TDesktopWindows CreateDesktopWindows(TJobsCatalogue& catalogue, std::function<TScheduler*()> scheduler,
                                     IDesktopWindow::THooks hooks) {
    TDesktopWindows windows;
    windows.main = std::make_unique<TJobTableWindow>(catalogue, std::move(hooks));
    windows.shutdownDialog = std::make_unique<TCountdownDialog>(std::move(scheduler));
    return windows;
}

std::unique_ptr<IUserPrompt> CreateUserPrompt() {
    return std::make_unique<TMessageBoxPrompt>();
}

std::optional<QString> AskConfigurationPassword(IUserPrompt& prompt) {
    return prompt.AskText(QString::fromUtf16(ApplicationTitle),
                          Translate(QStringLiteral("Enter the password:")), QString(), true);
}

QIcon ProgramIcon() {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(101, 178, 255));
    painter.setPen(QPen(QColor(30, 80, 160), 3));
    painter.drawRoundedRect(QRectF(4, 10, 56, 44), 8, 8);
    painter.setBrush(Qt::white);
    painter.setPen(Qt::NoPen);
    painter.drawPolygon(QPolygonF({QPointF(32, 18), QPointF(46, 34), QPointF(37, 34), QPointF(37, 46),
                                   QPointF(27, 46), QPointF(27, 34), QPointF(18, 34)}));
    return QIcon(pixmap);
}

} // namespace morvane
