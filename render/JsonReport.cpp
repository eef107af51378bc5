#include "render/JsonReport.h"

#include "render/XPathCache.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <charconv>
#include <iterator>
#include <string>

namespace lyremap {

namespace {

QJsonValue placeValue(int value) {
    return value > 0 ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

// Appends Qt's JSON text of the string TEXT in UTF-8, without its quotes, to OUT. Printable
// ASCII other than '"' and '\' stands for itself, so most texts need no call into Qt and no
// copy of their own. JSON escapes character by character, so the text of a concatenation is the
// concatenation of the texts.
void appendEscaped(std::string& out, const QString& text) {
    if (std::all_of(text.begin(), text.end(), [](QChar c) {
            return c.unicode() >= 0x20 && c.unicode() < 0x7F && c != u'"' && c != u'\\';
        })) {
        const std::size_t start = out.size();
        out.resize(start + std::size_t(text.size()));
        std::transform(text.begin(), text.end(), out.begin() + std::ptrdiff_t(start),
                       [](QChar c) { return char(c.unicode()); });
        return;
    }
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    out.append(array.constData() + 2, std::size_t(array.size() - 4)); // ["..."]
}

std::string escaped(const QString& text) {
    std::string out;
    appendEscaped(out, text);
    return out;
}

void appendNumber(std::string& out, std::int64_t value) {
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
    out.append(digits, std::size_t(end - digits));
}

// A place's line or column, null when there is none.
void appendPlace(std::string& out, int value) {
    if (value > 0)
        appendNumber(out, value);
    else
        out += "null";
}

// Collects output and hands it to the stream in large pieces. Pieces are written in place, into
// room asked for beforehand, so that no byte is first set to zero or copied twice.
class Output {
public:
    explicit Output(std::FILE* out) : out_(out), buffer_(2 * kPiece, '\0') {}
    ~Output() { flush(); }
    // Where to write at most SIZE bytes; then call advance() with their end.
    char* room(std::size_t size) {
        if (buffer_.size() - used_ < size) {
            flush();
            if (buffer_.size() < size)
                buffer_.resize(size);
        }
        return buffer_.data() + used_;
    }
    void advance(char* end) {
        used_ = std::size_t(end - buffer_.data());
        if (used_ >= kPiece)
            flush();
    }
    void write(std::string_view text) {
        advance(std::copy(text.begin(), text.end(), room(text.size())));
    }
    void flush() {
        std::fwrite(buffer_.data(), 1, used_, out_);
        used_ = 0;
    }

private:
    static constexpr std::size_t kPiece = 1 << 16;
    std::FILE* out_;
    std::string buffer_; // its whole size is room; the first used_ bytes are waiting
    std::size_t used_ = 0;
};

} // namespace

QJsonObject diagnosticJson(const Diagnostic& diagnostic) {
    const bool error = diagnostic.severity == Diagnostic::Severity::Error;
    return QJsonObject{
        {QStringLiteral("severity"), error ? QStringLiteral("error") : QStringLiteral("warning")},
        {QStringLiteral("name"), error ? QJsonValue(QJsonValue::Null) : diagnostic.name},
        {QStringLiteral("line"), placeValue(diagnostic.position.line)},
        {QStringLiteral("column"),
         placeValue(diagnostic.position.line > 0 ? std::max(diagnostic.position.column, 1) : 0)},
        {QStringLiteral("message"), diagnostic.message}};
}

void writeJsonReport(std::FILE* out, const OpenOutcome& outcome, const FrameLog& log,
                     const LayoutChecks& checks) {
    QJsonValue error(QJsonValue::Null);
    if (const auto& failure = checks.error()) {
        const QJsonObject json = diagnosticJson(*failure);
        error = QJsonObject{{QStringLiteral("reason"), failure->message},
                            {QStringLiteral("line"), json[QStringLiteral("line")]},
                            {QStringLiteral("column"), json[QStringLiteral("column")]}};
    }
    const QJsonObject head{{QStringLiteral("file"), outcome.fileName},
                           {QStringLiteral("loaded"), outcome.loaded},
                           {QStringLiteral("status"), outcome.statusText},
                           {QStringLiteral("error"), error}};

    // The head object without its closing brace, then the diagnostics and the frames as two
    // more members, one element at a time. Each element is put together from Qt's texts of its
    // strings, with its members in the order Qt writes them (by name): building a QJsonObject
    // for each of hundreds of thousands of frames would take several times as long as the open.
    Output output(out);
    std::string text = QJsonDocument(head).toJson(QJsonDocument::Compact).chopped(1).toStdString();
    text += ",\"diagnostics\":[";
    bool first = true;
    for (const Diagnostic& warning : checks.warnings()) {
        if (!std::exchange(first, false))
            text += ',';
        text += "{\"column\":";
        appendPlace(text, warning.position.line > 0 ? std::max(warning.position.column, 1) : 0);
        text += ",\"line\":";
        appendPlace(text, warning.position.line);
        text += ",\"message\":\"";
        appendEscaped(text, warning.message);
        text += "\",\"name\":\"";
        appendEscaped(text, warning.name);
        text += "\",\"severity\":\"warning\"}";
        if (text.size() >= 1 << 16) {
            output.write(text);
            text.clear();
        }
    }
    text += "],\"frames\":[";
    output.write(text);

    std::vector<std::string> names;
    for (const QString& name : log.names())
        names.push_back(escaped(name));
    XPathCache paths(log, std::move(names));
    first = true;
    for (const FrameLog::Frame& drawn : log.frames()) {
        // The members other than the path take at most 150 bytes.
        const std::string_view parent = paths.parentPath(drawn.step);
        char* at = output.room(parent.size() + paths.stepRoom(drawn.step) + 160);
        const auto put = [&at](std::string_view part) {
            at = std::copy(part.begin(), part.end(), at);
        };
        const auto number = [&at](std::int64_t value) {
            at = std::to_chars(at, at + 24, value).ptr;
        };
        const auto place = [&](int value) {
            if (value > 0)
                number(value);
            else
                put("null");
        };
        if (!std::exchange(first, false))
            *at++ = ',';
        put("{\"bottom\":");
        number(drawn.rect.Bottom);
        put(",\"column\":");
        place(drawn.position.column);
        put(",\"left\":");
        number(drawn.rect.Left);
        put(",\"line\":");
        place(drawn.position.line);
        put(",\"path\":\"");
        put(parent);
        at = paths.writeStep(at, drawn.step);
        put("\",\"pen\":\"");
        put(penStyleName(drawn.pen));
        put("\",\"right\":");
        number(drawn.rect.Right);
        put(",\"top\":");
        number(drawn.rect.Top);
        put("}");
        output.advance(at);
    }
    output.write("]}\n");
}

} // namespace lyremap
