#include "base/Exception.h"

#include <new>

namespace lyremap {

Exception::Exception(QString message)
    : message_(std::move(message)), utf8_(message_.toStdString()) {}

QString failureMessage(const std::exception& failure) {
    if (const auto* own = dynamic_cast<const Exception*>(&failure))
        return own->message();
    // Running out of memory is the one standard failure a user can meet; say it in the
    // program's own words rather than the library's "std::bad_alloc".
    if (dynamic_cast<const std::bad_alloc*>(&failure))
        return QStringLiteral("Systemressourcen erschöpft.");
    return QString::fromUtf8(failure.what());
}

} // namespace lyremap
