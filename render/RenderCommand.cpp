#include "render/RenderCommand.h"

#include "render/AuthorReport.h"
#include "render/DiffCommand.h"
#include "render/LayoutRenderer.h"
#include "render/MapOutputs.h"
#include "render/OutputFile.h"
#include "render/RenderOptions.h"
#include "render/TextOutput.h"
#include "render/WatchLoop.h"

#include <algorithm>

namespace lyremap {

namespace {

void complain(std::FILE* err, const QString& problem) {
    writeText(err, QStringLiteral("lyremap-render: ") + problem + u'\n');
}

int usageError(std::FILE* err, const QString& problem) {
    complain(err, problem);
    std::fputs(RenderUsage, err);
    std::fputs("Try 'lyremap-render --help' for more information.\n", err);
    return RenderTrouble;
}

// One layout of a run: open it, report the outcome, write its map.
class LayoutRun {
public:
    LayoutRun(const RenderOptions& options, bool keepOutlines, std::FILE* report, std::FILE* err)
        : renderer_(options.trace ? report : nullptr, keepOutlines),
          author_(options.check, options.json, options.at), scale_(options.scale), report_(report),
          err_(err) {}

    // Opens LAYOUT, writes its map to OUTPUT, if any, unless the open failed and ONLY_LOADED is
    // set, then prints what --check, --json or --at ask for and the status line: once it is
    // out, the map is in place. Returns the layout's status.
    RenderExit run(const QString& layout, const std::optional<QString>& output, bool onlyLoaded) {
        const OpenOutcome outcome = renderer_.open(layout, author_.listener());
        std::optional<QString> writeFailure;
        if (output && (outcome.loaded || !onlyLoaded)) {
            try {
                writeMap(renderer_.drawn(), *output, scale_);
            } catch (const WriteError& failure) {
                writeFailure = failure.message();
            }
        }
        const RenderExit found = author_.report(outcome, renderer_.document(), report_, err_);
        if (author_.printsStatusLine())
            writeText(report_, outcome.statusText + u'\n');
        std::fflush(report_);
        if (writeFailure) {
            complain(err_, *writeFailure);
            return RenderTrouble;
        }
        return found;
    }

    // True once --at has listed a frame.
    bool listedAny() const { return author_.listedAny(); }

private:
    LayoutRenderer renderer_;
    AuthorReport author_;
    int scale_;
    std::FILE* report_;
    std::FILE* err_;
};

} // namespace

int runRenderCommand(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    RenderOptions options;
    std::vector<std::optional<QString>> outputs;
    try {
        options = parseRenderOptions(arguments);
        if (options.action == RenderOptions::Action::Help) {
            std::fputs(RenderUsage, out);
            std::fputs(RenderHelp, out);
            return RenderLoaded;
        }
        if (options.action == RenderOptions::Action::Version) {
            std::fputs("lyremap-render " LYREMAP_VERSION "\n", out);
            return RenderLoaded;
        }
        if (options.diff)
            return runDiffCommand(options, out, err);
        outputs = mapOutputs(options);
    } catch (const UsageError& problem) {
        return usageError(err, problem.message());
    }
    if (options.outputDir) {
        try {
            requireWritableFolder(*options.outputDir);
        } catch (const WriteError& failure) {
            complain(err, failure.message());
            return RenderTrouble;
        }
    }

    // Standard output carries either the outcomes or the map.
    std::FILE* const report = options.outputIsStdout() ? err : out;
    const bool keepOutlines = std::any_of(outputs.begin(), outputs.end(), [](const auto& output) {
        return output && isSvgOutput(*output);
    });
    LayoutRun layoutRun(options, keepOutlines, report, err);
    if (options.watch) {
        // Only a map that loaded is written, so a failed open keeps the last good one.
        try {
            watchFile(options.layouts.front(),
                      [&] { layoutRun.run(options.layouts.front(), outputs.front(), true); });
        } catch (const Exception& failure) {
            complain(err, failure.message());
            return RenderTrouble;
        }
        return RenderLoaded;
    }
    ExitStatus status;
    for (qsizetype i = 0; i < options.layouts.size(); ++i)
        status.note(layoutRun.run(options.layouts[i], outputs[std::size_t(i)], false));
    // --at answers as grep does: 1 when no layout had a frame there.
    if (options.at && !layoutRun.listedAny())
        status.note(RenderFailed);
    // What standard output could not take (a full disk behind it) is lost: never a success.
    if (std::fflush(out) != 0 || std::ferror(out) != 0) {
        complain(err, QStringLiteral("standard output could not be written"));
        status.note(RenderTrouble);
    }
    return status.value();
}

} // namespace lyremap
