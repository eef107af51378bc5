// The failures of the document access layer and the texts they carry.
#pragma once

#include "base/Exception.h"

#include <QString>
#include <cstdint>

namespace lyremap {

// What the parser reported about a failed load.
struct ParseReport {
    QString reason;  // the parser's description, without a trailing line break
    int line = 0;    // 1-based line of the offending source, 0 when there is none
    QString srcText; // the offending source line (only its start is shown)
    int column = 0;  // 1-based column on that line where the parser gives one, else 0
};

// The parser could not load the file: missing, unreadable, not a regular file or not
// well-formed. The message is the reason, CR LF, "Linie: N", CR LF and the first 40 UTF-16 code
// units of the source line.
class EDOMParseError : public Exception {
public:
    explicit EDOMParseError(ParseReport report);

    // The parser's report the message was built from.
    const ParseReport& report() const noexcept { return report_; }

private:
    ParseReport report_;
};

// The layer's own checks: no file name to load, or a question while no document is held.
class EXMLDocError : public Exception {
public:
    using Exception::Exception;
};

// A parser operation failed. The message is the parser's description trimmed of trailing full
// stops and control characters, or a text for the failure code when that leaves nothing.
class EOleException : public Exception {
public:
    EOleException(std::uint32_t code, const QString& description);

    // The failure code, in the HRESULT style the layer reports.
    std::uint32_t code() const noexcept { return code_; }

private:
    std::uint32_t code_;
};

// A child was asked for by an index outside 0 to count - 1.
class EListError : public Exception {
public:
    explicit EListError(int index);
};

// Failure codes used with EOleException.
inline constexpr std::uint32_t kErrorFail = 0x80004005u;        // unspecified failure
inline constexpr std::uint32_t kErrorOutOfMemory = 0x8007000Eu; // not enough memory

// The stored texts of the layer.
inline constexpr char16_t kFileNameRequired[] = u"FileName muss angegeben werden";
inline constexpr char16_t kNoActiveDocument[] = u"Kein aktives Dokument";

// The parse-failure message: reason, CR LF, "Linie: " line, CR LF, first 40 units of srcText.
QString parseErrorMessage(const ParseReport& report);

// A parser description with trailing full stops and characters up to U+0020 removed.
QString trimParserDescription(QString description);

// The text for a failure code: a known code's German text, else "OLE-Fehler XXXXXXXX".
QString failureCodeText(std::uint32_t code);

} // namespace lyremap
