// Running lyremap-render as a script does, and the maps to compare its pictures with.
#pragma once

#include "TestSupport.h"

#include "layout/OpenLayout.h"
#include "map/MapSurface.h"

#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>

namespace lyremap::test {

struct RenderRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs lyremap-render with ARGUMENTS to its end; standard output goes to STDOUT_FILE if given.
inline RenderRun render(const QStringList& arguments, const QString& stdoutFile = QString()) {
    QProcess process;
    if (!stdoutFile.isEmpty())
        process.setStandardOutputFile(stdoutFile);
    process.start(QStringLiteral(LYREMAP_RENDER_EXE), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        qFatal("lyremap-render did not finish normally");
    return RenderRun{process.exitCode(), process.readAllStandardOutput(),
                     process.readAllStandardError()};
}

inline QString example(const char* name) {
    return sourceDir() + QStringLiteral("/examples/") + QString::fromUtf8(name);
}

// A layout with a misspelt closing tag on line 6.
inline QString brokenLayout() {
    return sourceDir() + QStringLiteral("/tests/render/data/broken.xml");
}

// The map an open of PATH draws in this process, SCALE times enlarged by Qt's own scaling.
inline QImage mapOf(const QString& path, int scale = 1) {
    MapSurface surface;
    XmlDocument doc;
    OpenLayout(doc, surface, path);
    const QImage map = surface.raster();
    return map.scaled(map.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

inline bool samePixels(const QImage& a, const QImage& b) {
    return a.size() == b.size() &&
           a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

// A layout of random widgets and frames, with now and then a value that takes its default; STEPS
// elements opened or closed, about 50 bytes each.
inline QByteArray randomLayout(QRandomGenerator& random, int steps = 200) {
    const char* const values[] = {"0", "7", "-13", "250", "abc", "", "0x1F", "true", "2147483647"};
    const auto value = [&] { return QByteArray(values[random.bounded(int(std::size(values)))]); };
    QByteArray layout = "<widget_description>";
    int open = 0;
    for (int i = 0; i < steps; ++i) {
        switch (random.bounded(5)) {
        case 0:
            layout += "<widget>";
            ++open;
            break;
        case 1:
            if (open > 0) {
                layout += "</widget>";
                --open;
            }
            break;
        default:
            if (open == 0)
                break;
            layout += QByteArray(random.bounded(4) ? "<frame" : "<FRAME") + " x='" + value() +
                      "' y='" + value() + "' width='" + value() + "' height='" + value() + "'" +
                      (random.bounded(2) ? " border='yes'" : "") + "/>";
        }
    }
    return layout + QByteArray("</widget>").repeated(open) + "</widget_description>";
}

} // namespace lyremap::test
