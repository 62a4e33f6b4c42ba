#pragma once

#include "command_line.h"
#include "image_store.h"
#include "locks.h"

namespace morvane::imager {

// 0 when the command's target is a local folder the tool can use, else the exit code after the
// reason has been printed.
int RefuseUnusableTarget(const Command& command);
// Creates the image folders and takes the target's lock; 0 or the exit code after the reason has been
// printed.
int PrepareAndLockStore(const ImageStore& store, TargetLock& lock);
// Removes the ".partial" and ".deleting" folders left by runs that ended without cleaning up; the caller
// holds the target's lock, so none of them belongs to a live run.
void RemoveLeftovers(const ImageStore& store);

} // namespace morvane::imager
