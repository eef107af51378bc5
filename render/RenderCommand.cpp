#include "render/RenderCommand.h"

#include "layout/OpenLayout.h"
#include "map/MapSurface.h"
#include "render/TraceTarget.h"

#include <QCommandLineParser>
#include <QImage>
#include <QImageWriter>
#include <optional>

namespace lyremap {

namespace {

constexpr char kUsage[] = "Usage: lyremap-render [--trace] [--output MAP.png] LAYOUT\n";

constexpr char kHelp[] =
    "Opens the layout file LAYOUT as the lyremap viewer does and prints the outcome:\n"
    "the absolute file name followed by \" loaded.\" or by \" failed: \" and the reason.\n"
    "\n"
    "Options:\n"
    "  --trace           print every drawing call, one per line, before the outcome\n"
    "  --output MAP.png  write the 800 by 600 map as a PNG, also when loading failed\n"
    "  --help            show this help and exit\n"
    "  --version         show the version and exit\n"
    "\n"
    "Exit status: 0 loaded, 1 failed, 2 bad arguments or the PNG cannot be written.\n";

void writeText(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

int usageError(std::FILE* err, const QString& problem) {
    writeText(err, QStringLiteral("lyremap-render: ") + problem + u'\n');
    std::fputs(kUsage, err);
    std::fputs("Try 'lyremap-render --help' for more information.\n", err);
    return RenderUsageError;
}

// The map as the viewer shows it: the raster, or a blank white area when none was made.
QImage shownMap(const MapSurface& surface) {
    if (surface.hasRaster())
        return surface.raster();
    QImage blank(surface.size(), QImage::Format_RGB32);
    blank.fill(Qt::white);
    return blank;
}

} // namespace

int runRenderCommand(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption traceOption(QStringLiteral("trace"));
    const QCommandLineOption outputOption(QStringLiteral("output"), QString(),
                                          QStringLiteral("MAP.png"));
    const QCommandLineOption helpOption(QStringLiteral("help"));
    const QCommandLineOption versionOption(QStringLiteral("version"));
    parser.addOptions({traceOption, outputOption, helpOption, versionOption});

    if (!parser.parse(QStringList{QStringLiteral("lyremap-render")} + arguments))
        return usageError(err, parser.errorText());
    if (parser.isSet(helpOption)) {
        std::fputs(kUsage, out);
        std::fputs(kHelp, out);
        return RenderLoaded;
    }
    if (parser.isSet(versionOption)) {
        std::fputs("lyremap-render " LYREMAP_VERSION "\n", out);
        return RenderLoaded;
    }
    const QStringList layouts = parser.positionalArguments();
    if (layouts.size() != 1)
        return usageError(err, layouts.isEmpty() ? QStringLiteral("no layout file given")
                                                 : QStringLiteral("more than one layout file"));
    const QString layout = layouts.first();
    if (layout.isEmpty())
        return usageError(err, QStringLiteral("the layout file name is empty"));
    std::optional<QString> output;
    if (parser.isSet(outputOption)) {
        output = parser.value(outputOption);
        if (output->isEmpty())
            return usageError(err, QStringLiteral("the output file name is empty"));
    }

    MapSurface surface;
    XmlDocument xmlDoc;
    std::optional<TraceTarget> tracer;
    if (parser.isSet(traceOption))
        tracer.emplace(surface, out);
    MapTarget& target = tracer ? static_cast<MapTarget&>(*tracer) : surface;

    const OpenOutcome outcome = OpenLayout(xmlDoc, target, layout);
    writeText(out, outcome.statusText + u'\n');
    std::fflush(out);

    if (output) {
        QImageWriter writer(*output, "png");
        if (!writer.write(shownMap(surface))) {
            writeText(err, QStringLiteral("lyremap-render: cannot write %1: %2\n")
                               .arg(*output, writer.errorString()));
            return RenderUsageError;
        }
    }
    return outcome.loaded ? RenderLoaded : RenderFailed;
}

} // namespace lyremap
