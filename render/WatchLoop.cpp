#include "render/WatchLoop.h"

#include "render/InterruptSignal.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>
#include <algorithm>
#include <sys/stat.h>
#include <utility>

namespace lyremap {

namespace {

// Time for a writer to finish a burst of writes before the file is read.
constexpr qint64 kSettleMs = 50;
// The shortest time between two runs: at most four a second.
constexpr qint64 kIntervalMs = 250;

// What a change of the file would alter: which file the name leads to, its kind, size and times.
struct FileState {
    bool exists = false;
    struct stat info {};

    bool operator==(const FileState& other) const {
        const auto same = [](const timespec& a, const timespec& b) {
            return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
        };
        if (exists != other.exists)
            return false;
        return !exists ||
               (info.st_dev == other.info.st_dev && info.st_ino == other.info.st_ino &&
                info.st_mode == other.info.st_mode && info.st_size == other.info.st_size &&
                same(info.st_mtim, other.info.st_mtim) && same(info.st_ctim, other.info.st_ctim));
    }
};

FileState stateOf(const QString& path) {
    FileState state;
    state.exists = ::stat(QFile::encodeName(path).constData(), &state.info) == 0;
    return state;
}

} // namespace

void watchFile(const QString& path, const std::function<void()>& reopen) {
    const QString file = QFileInfo(path).absoluteFilePath();
    const QString folder = QFileInfo(file).absolutePath();
    QEventLoop loop;
    const InterruptSignal interrupt([&loop] { loop.quit(); });

    // The file's own watch goes with the file when it is removed or renamed over, so it is set
    // again after each look; the folder's watch sees a new file (or folder, or pipe) appear.
    QFileSystemWatcher watcher;
    const auto rewatch = [&] {
        if (!watcher.files().contains(file) && !watcher.directories().contains(file) &&
            QFileInfo::exists(file))
            watcher.addPath(file);
        if (!watcher.directories().contains(folder))
            watcher.addPath(folder);
    };

    FileState seen;
    QElapsedTimer sinceRun;
    const auto run = [&] {
        seen = stateOf(file);
        rewatch();
        reopen();
        sinceRun.restart();
    };

    // A change reported on the file itself always runs (its size and times may not show a quick
    // rewrite); one reported on the folder only when the file now looks different.
    QTimer pending;
    pending.setSingleShot(true);
    bool fileChanged = false;
    const auto schedule = [&](bool onFile) {
        fileChanged = fileChanged || onFile;
        if (!pending.isActive())
            pending.start(int(std::max(kSettleMs, kIntervalMs - sinceRun.elapsed())));
    };
    QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, [&] { schedule(true); });
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged,
                     [&](const QString& changed) { schedule(changed == file); });
    QObject::connect(&pending, &QTimer::timeout, [&] {
        if (std::exchange(fileChanged, false) || !(stateOf(file) == seen))
            run();
        else
            rewatch();
    });

    run();
    loop.exec();
}

} // namespace lyremap
