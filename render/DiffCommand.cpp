#include "render/DiffCommand.h"

#include "layout/FrameLog.h"
#include "layout/OpenLayout.h"
#include "map/MapSurface.h"
#include "render/DiffOverlay.h"
#include "render/LayoutDiff.h"
#include "render/OutputFile.h"

#include <optional>

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

void writeText(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

QString rectText(const MapRect& r) {
    return QStringLiteral("%1 %2 %3 %4").arg(r.Left).arg(r.Top).arg(r.Right).arg(r.Bottom);
}

// "NAME:LINE:COLUMN: WHAT XPATH" for FRAME of LOG, read from the file NAME.
QString framePlace(const QString& name, const FrameLog& log, std::uint32_t frame,
                   const char* what) {
    const FrameLog::Frame& f = log.frames()[frame];
    return QStringLiteral("%1:%2:%3: %4 %5")
        .arg(name)
        .arg(f.position.line)
        .arg(f.position.column)
        .arg(QLatin1StringView(what), log.xpath(f.step));
}

QString changeLine(const FrameChange& change, const FrameLog& oldLog, const FrameLog& newLog,
                   const QString& oldName, const QString& newName) {
    using Kind = FrameChange::Kind;
    switch (change.kind) {
    case Kind::Added:
        return framePlace(newName, newLog, change.newFrame, "added") + u' ' +
               rectText(newLog.frames()[change.newFrame].rect);
    case Kind::Removed:
        return framePlace(oldName, oldLog, change.oldFrame, "removed") + u' ' +
               rectText(oldLog.frames()[change.oldFrame].rect);
    case Kind::Restyled:
        return framePlace(newName, newLog, change.newFrame, "restyled") + u' ' +
               QLatin1StringView(penStyleName(oldLog.frames()[change.oldFrame].pen)) +
               QStringLiteral(" -> ") +
               QLatin1StringView(penStyleName(newLog.frames()[change.newFrame].pen));
    case Kind::Moved:
    case Kind::Resized:
        break;
    }
    return framePlace(newName, newLog, change.newFrame,
                      change.kind == Kind::Moved ? "moved" : "resized") +
           u' ' + rectText(oldLog.frames()[change.oldFrame].rect) + QStringLiteral(" -> ") +
           rectText(newLog.frames()[change.newFrame].rect);
}

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
    for (const FrameChange& change : changes)
        writeText(report, changeLine(change, oldLog, newLog, oldName, newName) + u'\n');
    std::fflush(report);
    if (writeFailure) {
        writeText(err, QStringLiteral("lyremap-render: ") + *writeFailure + u'\n');
        return DiffTrouble;
    }
    return changes.empty() ? DiffSame : DiffChanged;
}

} // namespace lyremap
