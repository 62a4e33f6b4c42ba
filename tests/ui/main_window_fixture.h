#pragma once

// A main window over a catalogue in a temporary home, a scripted user, and windows that answer nothing.

#include "ui/main_window.h"

#include "core/jobs_catalogue.h"
#include "fixtures/temp_home.h"
#include "options/options.h"
#include "platform/settings_store.h"
#include "scripted_prompt.h"
#include "silent_windows.h"

#include <memory>

namespace morvane::test {

class MainWindowFixture : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        GlobalOptions() = DefaultOptions();
        GlobalOptions().Logging.PathForLogFiles = HomePath(QStringLiteral("logs"));
        catalogue = std::make_unique<TJobsCatalogue>(AppDir());
    }
    void TearDown() override {
        window.reset();
        catalogue.reset();
        TempHomeTest::TearDown();
    }

    // The window is made at its first use, so a test can fill the catalogue first.
    TfrmMainOrvellaBackup& Window() {
        if (!window)
            window = std::make_unique<TfrmMainOrvellaBackup>(
                *catalogue, prompt, viewer, dialogs, guidance, [this] { return busy; },
                SettingsStore(IniPath()));
        return *window;
    }
    QString IniPath() const { return HomePath(QStringLiteral("config/window.ini")); }

    ScriptedPrompt prompt;
    NoViewer viewer;
    NoRestoreDialogs dialogs;
    NoGuidance guidance;
    bool busy = false;
    std::unique_ptr<TJobsCatalogue> catalogue;
    std::unique_ptr<TfrmMainOrvellaBackup> window;
};

} // namespace morvane::test
