// Writing one output file so that it is either complete or not there: the bytes go to a
// temporary file in the target's folder, which replaces the target only once everything was
// written and flushed to disk. A failure leaves an existing target as it was and no temporary
// file behind.
#pragma once

#include "base/Exception.h"

#include <QIODevice>
#include <QString>
#include <functional>

namespace lyremap {

// An output that could not be written; the message names it and says why.
class WriteError : public Exception {
public:
    using Exception::Exception;
};

// Opens TARGET, lets FILL write to it, and completes it. "-" is standard output, and a target
// that already is a device or a pipe is written in place: neither can be replaced by renaming.
// Whatever FILL throws, and every failure to write, becomes a WriteError naming TARGET.
void writeOutputFile(const QString& target, const std::function<void(QIODevice&)>& fill);

// Throws WriteError unless DIR is a folder this process may create files in.
void requireWritableFolder(const QString& dir);

} // namespace lyremap
