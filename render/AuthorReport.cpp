#include "render/AuthorReport.h"

#include "render/JsonReport.h"
#include "render/TextOutput.h"

namespace lyremap {

AuthorReport::AuthorReport(bool check, bool json, std::optional<MapPoint> at)
    : check_(check), json_(json), at_(at) {
    // The checks also find what --json reports; the log keeps what --json and --at list.
    if (check_ || json_)
        listeners_.add(&checks_);
    if (json_ || at_)
        listeners_.add(&log_);
}

WalkListener* AuthorReport::listener() {
    log_.clear();
    checks_.clear();
    return listeners_.empty() ? nullptr : &listeners_;
}

RenderExit AuthorReport::report(const OpenOutcome& outcome, const XmlDocument& document,
                                std::FILE* out, std::FILE* err) {
    if (check_ || json_)
        checks_.finish(outcome, document);
    if (check_) {
        const QByteArray path = outcome.fileName.toUtf8();
        QByteArray lines;
        for (const Diagnostic& warning : checks_.warnings())
            appendDiagnosticLine(lines, path, warning);
        if (const auto& error = checks_.error())
            appendDiagnosticLine(lines, path, *error);
        writeBytes(err, lines);
        std::fflush(err);
    }
    if (json_)
        writeJsonReport(out, outcome, log_, checks_);
    if (at_) {
        listed_ = writeFramesAt(out, log_, *at_, outcome.fileName) > 0 || listed_;
        if (!outcome.loaded)
            writeText(err, outcome.statusText + u'\n');
    }
    std::fflush(out);
    if (!outcome.loaded)
        return RenderFailed;
    return check_ && !checks_.warnings().empty() ? RenderWarnings : RenderLoaded;
}

} // namespace lyremap
