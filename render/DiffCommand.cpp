#include "render/DiffCommand.h"

#include "layout/FrameLog.h"
#include "layout/OpenLayout.h"
#include "map/MapSurface.h"
#include "render/DiffOverlay.h"
#include "render/LayoutDiff.h"
#include "render/OutputFile.h"
#include "render/TextOutput.h"

#include <charconv>
#include <optional>
#include <string>

namespace lyremap {

namespace {

// The diff needs what the walk drew, not the drawing: the frame logs hold it.
class NoDrawing final : public MapTarget {
public:
    void ResetMap() override {}
    void SetPenStyle(PenStyle) override {}
    void DrawRectangle(const MapRect&) override {}
    void RefreshMap() override {}
};

// Builds the lines in a standard string with plain number conversions: a diff of two large,
// different layouts has millions of lines, and QString::arg costs several times more.
class ChangeLines {
public:
    ChangeLines(const FrameLog& oldLog, const FrameLog& newLog, const QString& oldName,
                const QString& newName)
        : oldLog_(oldLog), newLog_(newLog), oldName_(oldName.toStdString()),
          newName_(newName.toStdString()) {}

    // The line of CHANGE, with its line break.
    const std::string& line(const FrameChange& change) {
        using Kind = FrameChange::Kind;
        const FrameLog::Frame* was =
            change.oldFrame != FrameChange::kNoFrame ? &oldLog_.frames()[change.oldFrame] : nullptr;
        const FrameLog::Frame* is =
            change.newFrame != FrameChange::kNoFrame ? &newLog_.frames()[change.newFrame] : nullptr;
        text_.clear();
        if (change.kind == Kind::Removed) {
            place(oldName_, oldLog_, *was, "removed");
            rect(was->rect);
        } else if (change.kind == Kind::Added) {
            place(newName_, newLog_, *is, "added");
            rect(is->rect);
        } else if (change.kind == Kind::Restyled) {
            place(newName_, newLog_, *is, "restyled");
            text_.append(" ").append(penStyleName(was->pen)).append(" ->");
            text_.append(" ").append(penStyleName(is->pen));
        } else {
            place(newName_, newLog_, *is, change.kind == Kind::Moved ? "moved" : "resized");
            rect(was->rect);
            text_.append(" ->");
            rect(is->rect);
        }
        text_.push_back('\n');
        return text_;
    }

private:
    void number(std::int64_t value) {
        char digits[24];
        text_.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    }
    // "NAME:LINE:COLUMN: WHAT XPATH" for FRAME of LOG.
    void place(const std::string& name, const FrameLog& log, const FrameLog::Frame& frame,
               const char* what) {
        text_.append(name).push_back(':');
        number(frame.position.line);
        text_.push_back(':');
        number(frame.position.column);
        text_.append(": ").append(what).push_back(' ');
        text_.append(log.xpath(frame.step).toStdString());
    }
    // " L T R B"
    void rect(const MapRect& r) {
        for (std::int32_t value : {r.Left, r.Top, r.Right, r.Bottom}) {
            text_.push_back(' ');
            number(value);
        }
    }

    const FrameLog& oldLog_;
    const FrameLog& newLog_;
    const std::string oldName_;
    const std::string newName_;
    std::string text_;
};

} // namespace

int runDiffCommand(const RenderOptions& options, std::FILE* out, std::FILE* err) {
    const QString& oldName = options.layouts.at(0);
    const QString& newName = options.layouts.at(1);
    std::FILE* const report = options.outputIsStdout() ? err : out;

    XmlDocument xmlDoc;
    NoDrawing map;
    FrameLog oldLog, newLog;
    bool trouble = false;
    for (auto [name, log] : {std::pair{&oldName, &oldLog}, std::pair{&newName, &newLog}}) {
        const OpenOutcome outcome = OpenLayout(xmlDoc, map, *name, QLocale::system(), log);
        if (!outcome.loaded) {
            writeText(err, outcome.statusText + u'\n');
            trouble = true;
        }
    }
    xmlDoc.Close();
    if (trouble)
        return DiffTrouble;

    std::optional<QString> writeFailure;
    if (options.output) {
        try {
            writeOverlay(diffOverlay(oldLog, newLog,
                                     QSize(MapSurface::DefaultWidth, MapSurface::DefaultHeight)),
                         *options.output, options.scale);
        } catch (const WriteError& failure) {
            writeFailure = failure.message();
        }
    }
    const std::vector<FrameChange> changes = diffFrames(oldLog, newLog);
    ChangeLines lines(oldLog, newLog, oldName, newName);
    for (const FrameChange& change : changes) {
        const std::string& line = lines.line(change);
        std::fwrite(line.data(), 1, line.size(), report);
    }
    std::fflush(report);
    if (writeFailure) {
        writeText(err, QStringLiteral("lyremap-render: ") + *writeFailure + u'\n');
        return DiffTrouble;
    }
    return changes.empty() ? DiffSame : DiffChanged;
}

} // namespace lyremap
