// Following one file on disk: a function runs once, then again after each change of the file
// (written in place, replaced by renaming, removed, turned into a folder or a pipe), until the
// process is interrupted. Changes that come in a burst make one run; runs are at least a quarter
// of a second apart. Changes to other files in the same folder run nothing.
#pragma once

#include <QString>
#include <functional>

namespace lyremap {

// Runs REOPEN now and after every change to the file PATH, from the event loop, and returns
// once SIGINT or SIGTERM arrived (REOPEN is never cut short by them).
void watchFile(const QString& path, const std::function<void()>& reopen);

} // namespace lyremap
