#pragma once

#include <QString>

#include <optional>

namespace morvane {

// What the import dialog collects: the path of a job's storage copy and, for a share that needs them,
// the user name and password to reach it.
struct TImportChoice {
    QString Path;
    QString NetworkUser;
    QString NetworkPassword;
};

// The import dialog: a path that holds ".bmj", or nothing when the user cancels. `defaultPath` fills
// the path field when it opens.
class IImportDialog {
public:
    virtual ~IImportDialog() = default;
    virtual std::optional<TImportChoice> AskImport(const QString& defaultPath) = 0;
};

// The dialog takes only a path that holds ".bmj" (case as written) anywhere.
bool ImportPathAccepted(const QString& path);
// The message for a path it does not take.
QString ImportPathRefusal();

} // namespace morvane
