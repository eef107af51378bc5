// Fuzz entry point: the whole File > Open on the headless map, from file to drawn raster.
//
// The input is written to a file of its own and opened exactly as the viewer opens a layout:
// load, top-level lookup, widget walk, drawing. Every input must end in a status text of
// " loaded." or " failed: ..."; anything else (a crash, an escaped exception, a status of
// neither kind) is a finding.
#include "layout/OpenLayout.h"
#include "layout/xml/XmlDocument.h"
#include "map/MapSurface.h"
#include <QLocale>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

// One scratch file per process, removed when the process ends. The name lives in a plain array
// so the exit handler never touches an object that static destruction has already ended.
char scratchName[512];

const char* scratchPath() {
    if (!scratchName[0]) {
        const char* dir = std::getenv("TMPDIR");
        std::snprintf(scratchName, sizeof scratchName, "%s/lyremap-fuzz-%ld.xml",
                      dir && *dir ? dir : "/tmp", static_cast<long>(::getpid()));
        std::atexit([] { ::unlink(scratchName); });
    }
    return scratchName;
}

bool writeScratch(const std::uint8_t* data, std::size_t size) {
    FILE* f = std::fopen(scratchPath(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!writeScratch(data, size))
        std::abort();
    // Both number conventions matter: "1.000" is a thousand in German and one in English.
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    static const QLocale german(QLocale::German, QLocale::Germany);
    const QLocale& locale = (size % 2) ? german : english;

    // One document and one map for the whole run, as in the viewer, so each open also has to
    // clear whatever the previous input left behind.
    static lyremap::XmlDocument xmlDoc;
    static lyremap::MapSurface map;
    const lyremap::OpenOutcome outcome =
        lyremap::OpenLayout(xmlDoc, map, QString::fromLocal8Bit(scratchPath()), locale);

    const bool endsLoaded = outcome.statusText.endsWith(u" loaded.");
    const bool saysFailed = outcome.statusText.contains(u" failed: ");
    if (outcome.loaded != endsLoaded || (!outcome.loaded && !saysFailed))
        std::abort();
    return 0;
}
