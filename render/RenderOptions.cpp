#include "render/RenderOptions.h"

#include <QCommandLineParser>

namespace lyremap {

const char* const RenderUsage =
    "Usage: lyremap-render [--trace] [--output FILE | --output-dir DIR] "
    "[--scale N] [--watch] [--check] [--json | --at X,Y] LAYOUT...\n"
    "       lyremap-render --diff [--output FILE] [--scale N] OLD NEW\n";

const char* const RenderHelp =
    "Opens each layout file LAYOUT in turn as the lyremap viewer does and prints the outcome:\n"
    "the absolute file name followed by \" loaded.\" or by \" failed: \" and the reason.\n"
    "\n"
    "Options:\n"
    "  --trace           print every drawing call, one per line, before the outcome\n"
    "  --output FILE     write the 800 by 600 map of the one LAYOUT to FILE: SVG when FILE\n"
    "                    ends in .svg, PNG otherwise; - writes a PNG to standard output, and\n"
    "                    the outcome (and trace) then go to standard error\n"
    "  --output-dir DIR  write the map of each LAYOUT to DIR/NAME.png, NAME being its file\n"
    "                    name without .xml; DIR must exist and be writable\n"
    "  --scale N         draw each map pixel as N by N pixels, N from 1 to 16 (default 1)\n"
    "  --watch           with one LAYOUT: open it again and rewrite its map each time the file\n"
    "                    changes, at most four times a second, until interrupted (Ctrl+C)\n"
    "  --check           print on standard error what each layout gets wrong, one finding a\n"
    "                    line: PATH:LINE:COLUMN: warning: TEXT [NAME]; exit 3 when a layout\n"
    "                    loads with warnings\n"
    "  --json            print one JSON document a layout, on a line of its own, instead of\n"
    "                    the outcome: its frames with their places and XPaths, its findings\n"
    "  --at X,Y          list the frames whose rectangle holds map pixel X,Y instead of the\n"
    "                    outcome: PATH:LINE:COLUMN: frame LEFT TOP RIGHT BOTTOM PEN XPATH\n"
    "  --diff            compare the frames of two layouts, OLD and NEW (see below), and\n"
    "                    write both maps over each other to the output FILE, if given\n"
    "  --help            show this help and exit\n"
    "  --version         show the version and exit\n"
    "\n"
    "A map is written also after a failed open (the cleared map with whatever was drawn before\n"
    "the failure), except under --watch, which keeps the last map that loaded. Each file is\n"
    "written to a temporary file in its folder and renamed into place once complete.\n"
    "\n"
    "With --diff, one line is printed for each frame that differs, in drawing order; the two\n"
    "layouts' widgets and frames are matched by name and order, so that a widget added or\n"
    "removed reports only its own frames:\n"
    "  NEW:LINE:COLUMN: moved XPATH L T R B -> L T R B     the same size elsewhere\n"
    "  NEW:LINE:COLUMN: resized XPATH L T R B -> L T R B   another size, moved or not\n"
    "  NEW:LINE:COLUMN: restyled XPATH PEN -> PEN          solid or dotted\n"
    "  NEW:LINE:COLUMN: added XPATH L T R B\n"
    "  OLD:LINE:COLUMN: removed XPATH L T R B\n"
    "A frame that both moves (or changes size) and changes pen gives two lines: moved (or\n"
    "resized), then restyled. The picture shows outlines that both layouts draw in black, those\n"
    "only OLD draws in red and those only NEW draws in green, green over red over black.\n"
    "\n"
    "Exit status: the gravest of the layouts': 0 loaded, 3 loaded with warnings (--check),\n"
    "1 failed; 2 bad arguments, or an output that cannot be written. With --at: 0 when a frame\n"
    "was listed and every layout loaded, else 1. --watch ends with 0 when interrupted.\n"
    "With --diff: 0 no difference, 1 differences, 2 trouble (a layout that fails to load,\n"
    "whose outcome then goes to standard error; bad arguments; a picture that cannot be\n"
    "written).\n";

namespace {

int parseScale(const QString& text) {
    bool ok = false;
    const int scale = text.toInt(&ok);
    if (!ok || scale < 1 || scale > RenderOptions::MaxScale)
        throw UsageError(
            QStringLiteral("--scale takes a whole number from 1 to 16, not '%1'").arg(text));
    return scale;
}

// --json and --at take standard output for themselves and say what a layout holds once.
void checkAuthorOptions(const RenderOptions& options) {
    const auto refuse = [](const char* text) { throw UsageError(QString::fromLatin1(text)); };
    if (options.json && options.at)
        refuse("--json and --at cannot be used together");
    if ((options.json || options.at) && options.trace)
        refuse("--trace cannot be used with --json or --at, which take standard output");
    if ((options.json || options.at) && options.outputIsStdout())
        refuse("--output - cannot be used with --json or --at, which take standard output");
    if (options.at && options.watch)
        refuse("--at answers once; it cannot be used with --watch");
}

} // namespace

RenderOptions parseRenderOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption trace(QStringLiteral("trace"));
    const QCommandLineOption output(QStringLiteral("output"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption outputDir(QStringLiteral("output-dir"), QString(),
                                       QStringLiteral("DIR"));
    const QCommandLineOption scale(QStringLiteral("scale"), QString(), QStringLiteral("N"));
    const QCommandLineOption watch(QStringLiteral("watch"));
    const QCommandLineOption check(QStringLiteral("check"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption at(QStringLiteral("at"), QString(), QStringLiteral("X,Y"));
    const QCommandLineOption diff(QStringLiteral("diff"));
    const QCommandLineOption help(QStringLiteral("help"));
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions(
        {trace, output, outputDir, scale, watch, check, json, at, diff, help, version});
    if (!parser.parse(QStringList{QStringLiteral("lyremap-render")} + arguments))
        throw UsageError(parser.errorText());

    RenderOptions options;
    if (parser.isSet(help)) {
        options.action = RenderOptions::Action::Help;
        return options;
    }
    if (parser.isSet(version)) {
        options.action = RenderOptions::Action::Version;
        return options;
    }
    // An option given twice would silently lose one of its values.
    for (const QCommandLineOption* option : {&output, &outputDir, &scale, &at})
        if (parser.values(*option).size() > 1)
            throw UsageError(QStringLiteral("--%1 given more than once").arg(option->names()[0]));

    options.layouts = parser.positionalArguments();
    options.trace = parser.isSet(trace);
    options.watch = parser.isSet(watch);
    options.diff = parser.isSet(diff);
    if (parser.isSet(output))
        options.output = parser.value(output);
    if (parser.isSet(outputDir))
        options.outputDir = parser.value(outputDir);
    if (parser.isSet(scale))
        options.scale = parseScale(parser.value(scale));
    options.check = parser.isSet(check);
    options.json = parser.isSet(json);
    if (parser.isSet(at)) {
        options.at = parseMapPoint(parser.value(at));
        if (!options.at)
            throw UsageError(
                QStringLiteral("--at takes a map pixel X,Y, two whole numbers, not '%1'")
                    .arg(parser.value(at)));
    }

    if (options.layouts.isEmpty())
        throw UsageError(QStringLiteral("no layout file given"));
    if (options.layouts.contains(QString()))
        throw UsageError(QStringLiteral("a layout file name is empty"));
    if ((options.output && options.output->isEmpty()) ||
        (options.outputDir && options.outputDir->isEmpty()))
        throw UsageError(QStringLiteral("the output name is empty"));
    if (options.output && options.outputDir)
        throw UsageError(QStringLiteral("--output and --output-dir cannot be used together"));
    if (options.diff) {
        // A diff compares two opens; tracing them, following one, a map per layout or a report
        // of each does not fit with it.
        if (options.layouts.size() != 2)
            throw UsageError(QStringLiteral("--diff takes two layout files, OLD and NEW"));
        for (const auto& [given, name] :
             {std::pair{options.trace, "--trace"}, std::pair{options.watch, "--watch"},
              std::pair{bool(options.outputDir), "--output-dir"},
              std::pair{options.check, "--check"}, std::pair{options.json, "--json"},
              std::pair{bool(options.at), "--at"}})
            if (given)
                throw UsageError(QStringLiteral("--diff cannot be used with %1").arg(name));
    }
    if (options.output && options.layouts.size() > 1 && !options.diff)
        throw UsageError(QStringLiteral("--output takes one layout file; use --output-dir"));
    if (options.watch && options.layouts.size() > 1)
        throw UsageError(QStringLiteral("--watch takes one layout file"));
    if (options.watch && options.outputIsStdout())
        throw UsageError(QStringLiteral("--watch cannot write to standard output"));
    checkAuthorOptions(options);
    return options;
}

} // namespace lyremap
