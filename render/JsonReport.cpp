#include "render/JsonReport.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace lyremap {

namespace {

QJsonValue placeValue(int value) {
    return value > 0 ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

// The XPaths of a log's steps, each built once from its parent's: frames share their widget's.
class XPaths {
public:
    explicit XPaths(const FrameLog& log) : log_(log), paths_(log.steps().size()) {}

    const QString& of(std::uint32_t step) {
        QString& path = paths_[step];
        if (path.isEmpty()) {
            const FrameLog::Step& s = log_.steps()[step];
            const QString& name = log_.names()[s.name];
            const QString own = s.ordinal > 0 ? name + u'[' + QString::number(s.ordinal) + u']'
                                              : name;
            // As deep as the widgets nest, which the parser keeps to 256 levels.
            path = (s.parent == FrameLog::kNoStep ? QString() : of(s.parent)) + u'/' + own;
        }
        return path;
    }

private:
    const FrameLog& log_;
    std::vector<QString> paths_;
};

// Collects output and hands it to the stream in large pieces.
class Output {
public:
    explicit Output(std::FILE* out) : out_(out) {}
    ~Output() { flush(); }
    void append(const QByteArray& bytes) {
        buffer_ += bytes;
        if (buffer_.size() >= kPiece)
            flush();
    }
    void append(char c) { buffer_ += c; }
    void flush() {
        std::fwrite(buffer_.constData(), 1, static_cast<std::size_t>(buffer_.size()), out_);
        buffer_.clear();
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
        {QStringLiteral("column"), placeValue(diagnostic.position.line > 0
                                                  ? std::max(diagnostic.position.column, 1)
                                                  : 0)},
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
    QByteArray opening = compact(head);
    opening.chop(1);
    output.append(opening);
    output.append(QByteArrayLiteral(",\"diagnostics\":["));
    bool first = true;
    for (const Diagnostic& warning : checks.warnings()) {
        if (!std::exchange(first, false))
            output.append(',');
        output.append(compact(diagnosticJson(warning)));
    }
    output.append(QByteArrayLiteral("],\"frames\":["));
    XPaths paths(log);
    QJsonObject frame;
    first = true;
    for (const FrameLog::Frame& drawn : log.frames()) {
        // The same keys each time: their values are replaced in place.
        frame[QStringLiteral("left")] = drawn.rect.Left;
        frame[QStringLiteral("top")] = drawn.rect.Top;
        frame[QStringLiteral("right")] = drawn.rect.Right;
        frame[QStringLiteral("bottom")] = drawn.rect.Bottom;
        frame[QStringLiteral("pen")] = QLatin1StringView(penStyleName(drawn.pen));
        frame[QStringLiteral("line")] = placeValue(drawn.position.line);
        frame[QStringLiteral("column")] = placeValue(drawn.position.column);
        frame[QStringLiteral("path")] = paths.of(drawn.step);
        if (!std::exchange(first, false))
            output.append(',');
        output.append(compact(frame));
    }
    output.append(QByteArrayLiteral("]}\n"));
}

} // namespace lyremap
