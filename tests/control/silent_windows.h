#pragma once

// Windows of the main commands that a test does not look at: each answers "cancelled" or does nothing.

#include "control/report_viewer.h"
#include "engine/restore_dialogs.h"
#include "image/restore_guidance.h"

#include <QStringList>

namespace morvane::test {

struct NoViewer final : IReportViewer {
    QStringList opened;
    void OpenReport(const QString& path, bool) override { opened.append(path); }
};

struct NoRestoreDialogs final : TRestoreDialogs {
    std::optional<QString> ChooseOutputDirectory(const QString&) override { return std::nullopt; }
    void ShowRestorePointsLoading() override {}
    void CloseRestorePoints() override {}
    std::optional<int> ChooseRestorePoint(const QStringList&) override { return std::nullopt; }
    void ShowErrorMessage(const QString&) override {}
    QString AskPassword(const QString&, const QString&) override { return {}; }
};

struct NoGuidance final : TDriveImageRestoreGuidance {
    void ShowRestoreGuidance() override {}
    void ShowErrorMessage(const QString&) override {}
};

} // namespace morvane::test
