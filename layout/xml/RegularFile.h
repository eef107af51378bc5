// A layout file opened for reading, refused unless it is a regular file. Folders, pipes, devices
// and sockets are named in a German message and never opened; a missing or unreadable file
// gets a message of its own. Every refusal is an EDOMParseError with line 0.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace lyremap {

class RegularFile {
public:
    // Opens PATH; EDOMParseError when it is no readable regular file.
    explicit RegularFile(const QString& path);
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;
    ~RegularFile();

    // The size in bytes when it was opened.
    std::int64_t size() const { return size_; }
    // Up to COUNT bytes from the start of the file, read without moving the file position.
    QByteArray head(int count) const;
    // Up to SIZE bytes from the file position on into OUT: the number read, 0 at the end, -1
    // on a failure. The file is read in large blocks, so that a parser asking for a few
    // kilobytes at a time costs few system calls.
    int read(char* out, int size);

private:
    static constexpr std::size_t kBlock = 1 << 20;
    int fd_ = -1;
    std::int64_t size_ = 0;
    std::unique_ptr<char[]> block_;
    std::size_t begin_ = 0; // the unread part of block_
    std::size_t end_ = 0;
};

} // namespace lyremap
