// The command line of lyremap-render: its options, their checks, and the usage and help texts.
// Parsing only reads the arguments; whether files and folders exist is for the caller to find.
#pragma once

#include "base/Exception.h"
#include "render/PointQuery.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace lyremap {

// What the command line asks for.
struct RenderOptions {
    enum class Action { Render, Help, Version };

    Action action = Action::Render;
    QStringList layouts;              // the LAYOUT arguments, at least one for Render
    bool trace = false;               // --trace
    std::optional<QString> output;    // --output FILE ("-" is standard output); one layout
    std::optional<QString> outputDir; // --output-dir DIR
    int scale = 1;                    // --scale N, 1 to MaxScale
    bool watch = false;               // --watch; one layout
    bool diff = false;                // --diff: compare two layouts, OLD and NEW
    bool check = false;               // --check
    bool json = false;                // --json
    std::optional<MapPoint> at;       // --at X,Y

    static constexpr int MaxScale = 16;
    // True when the map goes to standard output, so the outcome goes to standard error.
    bool outputIsStdout() const { return output && *output == QStringLiteral("-"); }
};

// A command line that cannot be carried out; the message says why, without the program name.
class UsageError : public Exception {
public:
    using Exception::Exception;
};

// Parses ARGUMENTS (without the program name). Throws UsageError.
RenderOptions parseRenderOptions(const QStringList& arguments);

// The one-line synopsis, ending in a line break.
extern const char* const RenderUsage;
// What --help prints after the synopsis.
extern const char* const RenderHelp;

} // namespace lyremap
