// A layout file opened for reading, refused unless it is a regular file. Folders, pipes, devices
// and sockets are named in a German message and never opened; a missing or unreadable file
// gets a message of its own. Every refusal is an EDOMParseError with line 0.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace lyremap {

class RegularFile {
public:
    // Opens PATH; EDOMParseError when it is no readable regular file.
    explicit RegularFile(const QString& path);
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;
    ~RegularFile();

    // The open descriptor, owned by this object.
    int descriptor() const { return fd_; }
    // The size in bytes when it was opened.
    std::int64_t size() const { return size_; }
    // Up to COUNT bytes from the start of the file, read without moving the file position.
    QByteArray head(int count) const;

private:
    int fd_ = -1;
    std::int64_t size_ = 0;
};

} // namespace lyremap
