#include "render/JsonReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <charconv>
#include <iterator>

namespace lyremap {

namespace {

QJsonValue placeValue(int value) {
    return value > 0 ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

// Qt's JSON text of the string TEXT, without its quotes. JSON escapes character by character,
// so the text of a concatenation is the concatenation of the texts.
QByteArray escaped(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(2, array.size() - 4); // ["..."]
}

void appendNumber(QByteArray& out, std::int64_t value) {
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
    out.append(digits, end - digits);
}

// The escaped XPaths of a log's steps. A widget's is built once from its parent's and kept; a
// frame's is its widget's and one more step, added where it is written.
class XPaths {
public:
    explicit XPaths(const FrameLog& log) : log_(log), paths_(log.steps().size()) {
        for (const QString& name : log.names())
            names_.push_back(escaped(name));
    }

    // Appends the path of the frame or widget STEP to OUT.
    void append(QByteArray& out, std::uint32_t step) {
        const FrameLog::Step& s = log_.steps()[step];
        if (s.parent != FrameLog::kNoStep)
            out += parentPath(s.parent);
        out += '/';
        out += names_[s.name];
        if (s.ordinal > 0) {
            out += '[';
            appendNumber(out, s.ordinal);
            out += ']';
        }
    }

private:
    const QByteArray& parentPath(std::uint32_t step) {
        QByteArray& path = paths_[step];
        // As deep as the widgets nest, which the parser keeps to 256 levels.
        if (path.isEmpty())
            append(path, step);
        return path;
    }

    const FrameLog& log_;
    std::vector<QByteArray> paths_;
    std::vector<QByteArray> names_;
};

// Collects output and hands it to the stream in large pieces.
class Output {
public:
    explicit Output(std::FILE* out) : out_(out) { buffer_.reserve(2 * kPiece); }
    ~Output() { flush(); }
    // The buffer to append to; call done() after each piece.
    QByteArray& buffer() { return buffer_; }
    void done() {
        if (buffer_.size() >= kPiece)
            flush();
    }
    void flush() {
        std::fwrite(buffer_.constData(), 1, static_cast<std::size_t>(buffer_.size()), out_);
        buffer_.resize(0); // keeps the room
    }

private:
    static constexpr qsizetype kPiece = 1 << 16;
    std::FILE* out_;
    QByteArray buffer_;
};

QByteArray compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

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
    // more members, an object at a time.
    Output output(out);
    QByteArray& text = output.buffer();
    text += compact(head);
    text.chop(1);
    text += ",\"diagnostics\":[";
    bool first = true;
    for (const Diagnostic& warning : checks.warnings()) {
        if (!std::exchange(first, false))
            text += ',';
        text += compact(diagnosticJson(warning));
        output.done();
    }
    text += "],\"frames\":[";

    // Each frame as Qt writes a compact object with these members (in its order, by name),
    // made from Qt's texts of the strings: building a QJsonObject for each of hundreds of
    // thousands of frames would take several times as long as the open itself.
    XPaths paths(log);
    const auto place = [&text](int value) {
        if (value > 0)
            appendNumber(text, value);
        else
            text += "null";
    };
    first = true;
    for (const FrameLog::Frame& drawn : log.frames()) {
        if (!std::exchange(first, false))
            text += ',';
        text += "{\"bottom\":";
        appendNumber(text, drawn.rect.Bottom);
        text += ",\"column\":";
        place(drawn.position.column);
        text += ",\"left\":";
        appendNumber(text, drawn.rect.Left);
        text += ",\"line\":";
        place(drawn.position.line);
        text += ",\"path\":\"";
        paths.append(text, drawn.step);
        text += "\",\"pen\":\"";
        text += penStyleName(drawn.pen);
        text += "\",\"right\":";
        appendNumber(text, drawn.rect.Right);
        text += ",\"top\":";
        appendNumber(text, drawn.rect.Top);
        text += '}';
        output.done();
    }
    text += "]}\n";
}

} // namespace lyremap
