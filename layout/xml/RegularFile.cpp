#include "layout/xml/RegularFile.h"

#include "layout/xml/DocumentErrors.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace lyremap {

namespace {

[[noreturn]] void refuse(const QString& reason) {
    throw EDOMParseError(ParseReport{reason, 0, QString()});
}

// The refusal of anything but a regular file, naming what it is.
std::optional<QString> notARegularFile(mode_t mode) {
    if (S_ISREG(mode))
        return std::nullopt;
    if (S_ISDIR(mode))
        return QStringLiteral("Der Pfad bezeichnet einen Ordner, keine Datei");
    if (S_ISFIFO(mode))
        return QStringLiteral("Der Pfad bezeichnet eine benannte Pipe, keine Datei");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("Der Pfad bezeichnet ein Gerät, keine Datei");
    if (S_ISSOCK(mode))
        return QStringLiteral("Der Pfad bezeichnet einen Socket, keine Datei");
    return QStringLiteral("Der Pfad bezeichnet keine gewöhnliche Datei");
}

QString openFailure(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("Die Datei existiert nicht");
    case EACCES:
    case EPERM:
        return QStringLiteral("Zugriff verweigert: die Datei darf nicht gelesen werden");
    case ENAMETOOLONG:
        return QStringLiteral("Der Dateiname ist zu lang");
    case ELOOP:
        return QStringLiteral("Zu viele symbolische Verknüpfungen im Pfad");
    default:
        return QStringLiteral("Die Datei kann nicht geöffnet werden (Fehler %1)").arg(error);
    }
}

} // namespace

// The type is checked before opening, so a pipe or a device is never opened (opening either
// may block or have effects), and again on the open descriptor, so a file swapped in between is
// caught too. O_NONBLOCK keeps the open itself from waiting on a pipe; it is cleared once the
// file is known to be regular.
RegularFile::RegularFile(const QString& path) {
    const QByteArray localPath = QFile::encodeName(path);
    struct stat info {};
    if (::stat(localPath.constData(), &info) != 0)
        refuse(openFailure(errno));
    if (auto refusal = notARegularFile(info.st_mode))
        refuse(*refusal);

    fd_ = ::open(localPath.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0)
        refuse(openFailure(errno));
    try {
        if (::fstat(fd_, &info) != 0)
            refuse(openFailure(errno));
        if (auto refusal = notARegularFile(info.st_mode))
            refuse(*refusal);
        const int flags = ::fcntl(fd_, F_GETFL);
        if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) < 0)
            refuse(openFailure(errno));
    } catch (...) {
        ::close(fd_);
        throw;
    }
    size_ = static_cast<std::int64_t>(info.st_size);
}

RegularFile::~RegularFile() {
    ::close(fd_);
}

QByteArray RegularFile::head(int count) const {
    QByteArray bytes(count, '\0');
    const ssize_t got = ::pread(fd_, bytes.data(), static_cast<size_t>(count), 0);
    bytes.truncate(got > 0 ? static_cast<qsizetype>(got) : 0);
    return bytes;
}

int RegularFile::read(char* out, int size) {
    if (begin_ == end_) {
        if (!block_)
            block_ = std::make_unique_for_overwrite<char[]>(kBlock);
        ssize_t got = -1;
        do
            got = ::read(fd_, block_.get(), kBlock);
        while (got < 0 && errno == EINTR);
        if (got <= 0)
            return got < 0 ? -1 : 0;
        begin_ = 0;
        end_ = static_cast<std::size_t>(got);
    }
    const std::size_t count = std::min(end_ - begin_, static_cast<std::size_t>(std::max(size, 0)));
    std::memcpy(out, block_.get() + begin_, count);
    begin_ += count;
    return static_cast<int>(count);
}

} // namespace lyremap
