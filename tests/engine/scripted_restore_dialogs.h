#pragma once

#include "engine/restore_dialogs.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace morvane::testing {

// Answers the restore's questions from a script and records what it was shown.
class ScriptedRestoreDialogs final : public TRestoreDialogs {
public:
    std::optional<QString> outputFolder;
    std::optional<int> point;
    QString password;

    QString title;
    QStringList shownPoints;
    QStringList errors;
    int chooserShown = 0;
    int chooserClosed = 0;
    int passwordAsked = 0;

    std::optional<QString> ChooseOutputDirectory(const QString& caption) override {
        title = caption;
        return outputFolder;
    }
    void ShowRestorePointsLoading() override { ++chooserShown; }
    void CloseRestorePoints() override { ++chooserClosed; }
    std::optional<int> ChooseRestorePoint(const QStringList& shownNames) override {
        shownPoints = shownNames;
        return point;
    }
    void ShowErrorMessage(const QString& text) override { errors.append(text); }
    QString AskPassword(const QString&, const QString&) override {
        ++passwordAsked;
        return password;
    }
};

} // namespace morvane::testing
