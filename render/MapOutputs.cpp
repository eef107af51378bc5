#include "render/MapOutputs.h"

#include "render/OutputFile.h"
#include "render/PngWriter.h"
#include "render/SvgWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace lyremap {

namespace {

// DIR/NAME.png for LAYOUT. Throws UsageError for a name that gives no file name of its own.
QString outputInFolder(const QString& dir, const QString& layout) {
    QString name = QFileInfo(layout).fileName();
    if (name.endsWith(QStringLiteral(".xml"), Qt::CaseInsensitive))
        name.chop(4);
    if (name.isEmpty() || name == QStringLiteral(".") || name == QStringLiteral(".."))
        throw UsageError(
            QStringLiteral("'%1' gives no name for a file in --output-dir").arg(layout));
    return QDir(dir).filePath(name + QStringLiteral(".png"));
}

} // namespace

std::vector<std::optional<QString>> mapOutputs(const RenderOptions& options) {
    std::vector<std::optional<QString>> outputs(std::size_t(options.layouts.size()));
    if (options.output) {
        outputs.front() = *options.output;
    } else if (options.outputDir) {
        QHash<QString, QString> layoutOf; // output file -> the layout that writes it
        for (qsizetype i = 0; i < options.layouts.size(); ++i) {
            const QString& layout = options.layouts[i];
            const QString output = outputInFolder(*options.outputDir, layout);
            if (const auto other = layoutOf.constFind(output); other != layoutOf.cend())
                throw UsageError(QStringLiteral("'%1' and '%2' would both write %3")
                                     .arg(*other, layout, output));
            layoutOf.insert(output, layout);
            outputs[std::size_t(i)] = output;
        }
    }
    return outputs;
}

bool isSvgOutput(const QString& target) {
    return target.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive);
}

void writeMap(const DrawnMap& map, const QString& target, int scale) {
    writeOutputFile(target, [&](QIODevice& device) {
        if (isSvgOutput(target))
            writeSvg(map, scale, device);
        else
            writePng(map, scale, device);
    });
}

} // namespace lyremap
