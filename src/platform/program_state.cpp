#include "platform/program_state.h"

#include "platform/paths.h"
#include "platform/special_folders.h"

#include <thread>

namespace morvane {

namespace {
// Static initialisation runs on the main thread, before main().
const std::thread::id mainThreadId = std::this_thread::get_id();
} // namespace

QString MakeTempFolderName() {
    return QString::fromUtf16(ApplicationTitle).remove(u' ') + QStringLiteral("Tmp");
}

ProgramState& Program() {
    static ProgramState state;
    return state;
}

void InitProgramPaths() {
    const QString title = QString::fromUtf16(ApplicationTitle);
    ProgramState& state = Program();
    state.ApplicationDirectory = JoinPath(ApplicationDataFolder(), title);
    state.CommonApplicationDirectory = JoinPath(CommonApplicationDataFolder(), title);
}

bool IsUserInterfaceThread() {
    return std::this_thread::get_id() == mainThreadId;
}

} // namespace morvane
