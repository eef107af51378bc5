#include "render/OutputFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace lyremap {

namespace {

[[noreturn]] void fail(const QString& target, const QString& reason) {
    throw WriteError(QStringLiteral("cannot write %1: %2").arg(target, reason));
}

// Runs FILL on FILE. A failure of the writer is reported with the file's own reason when the
// file has one, as an encoder only sees that its bytes were not taken.
void fillFile(QFileDevice& file, const QString& target,
              const std::function<void(QIODevice&)>& fill) {
    try {
        fill(file);
    } catch (const std::exception& failure) {
        fail(target,
             file.error() != QFileDevice::NoError ? file.errorString() : failureMessage(failure));
    }
}

// Writes to a device that cannot be replaced: standard output, a terminal, a pipe.
void writeInPlace(QFile& file, const QString& target, const std::function<void(QIODevice&)>& fill) {
    fillFile(file, target, fill);
    if (!file.flush() || file.error() != QFileDevice::NoError)
        fail(target, file.errorString());
}

} // namespace

void writeOutputFile(const QString& target, const std::function<void(QIODevice&)>& fill) {
    if (target == QStringLiteral("-")) {
        QFile out;
        if (!out.open(STDOUT_FILENO, QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
            fail(QStringLiteral("standard output"), out.errorString());
        writeInPlace(out, QStringLiteral("standard output"), fill);
        return;
    }
    const QFileInfo existing(target);
    if (existing.exists() && !existing.isFile() && !existing.isDir()) {
        QFile device(target);
        if (!device.open(QIODevice::WriteOnly))
            fail(target, device.errorString());
        writeInPlace(device, target, fill);
        return;
    }
    // QSaveFile writes to a temporary file in the target's folder, flushes it to disk and
    // renames it over the target on commit; dropped uncommitted, it leaves nothing behind.
    // Unbuffered, because commit() ignores a failure of its own final flush (Qt 6.4) and would
    // put an empty file in place on a full disk; each write's failure counts.
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fail(target, file.errorString());
    fillFile(file, target, fill);
    if (file.error() != QFileDevice::NoError || !file.commit())
        fail(target, file.errorString());
}

void requireWritableFolder(const QString& dir) {
    const QFileInfo info(dir);
    if (!info.exists())
        fail(dir, QStringLiteral("No such folder"));
    if (!info.isDir())
        fail(dir, QStringLiteral("Not a folder"));
    // access() also reports a read-only file system, which the permission bits do not show.
    if (::access(QFile::encodeName(dir).constData(), W_OK | X_OK) != 0)
        fail(dir, QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace lyremap
