#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace morvane {

// Starting this program again with administrator rights.
class IElevation {
public:
    virtual ~IElevation() = default;
    // Starts the program's own executable elevated with `arguments` and the user's home and session
    // variables, and waits, dispatching events, while the user answers the authentication prompt.
    // True once the elevated program runs; false when the user declined, authentication failed or no
    // elevation tool is installed.
    virtual bool RestartElevated(const QStringList& arguments) = 0;
};

// Elevation through the system's policy-kit launcher. User-interface thread only.
IElevation& SystemElevation();

// Elevation through `launcher` (a program that authenticates and then runs its arguments as a
// command, replacing itself) starting `executable`.
std::unique_ptr<IElevation> MakeElevation(const QString& launcher, const QString& executable);

} // namespace morvane
