#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace morvane {

// What a restore asks of the user. The desktop program answers with windows, the command-line tool
// from its arguments, tests from a script. Every call happens on the thread that called Restore.
class TRestoreDialogs {
public:
    virtual ~TRestoreDialogs() = default;

    // The output folder, or nothing when the user cancels. Only an existing folder may be returned.
    virtual std::optional<QString> ChooseOutputDirectory(const QString& title) = 0;
    // Shows the restore-point chooser in its loading state, without waiting.
    virtual void ShowRestorePointsLoading() = 0;
    // Closes the chooser when it is shown.
    virtual void CloseRestorePoints() = 0;
    // Shows the points by their shown names and waits; the chosen index, or nothing when cancelled.
    virtual std::optional<int> ChooseRestorePoint(const QStringList& shownNames) = 0;
    virtual void ShowErrorMessage(const QString& text) = 0;
    // A text answer; empty when the user cancels.
    virtual QString AskPassword(const QString& caption, const QString& prompt) = 0;
};

} // namespace morvane
