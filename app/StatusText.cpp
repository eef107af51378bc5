#include "app/StatusText.h"

#include <QFontMetrics>
#include <QTextBoundaryFinder>
#include <QTextDocument>
#include <vector>

namespace lyremap {

namespace {

const QString Ellipsis = QStringLiteral("…");

// The lines of TEXT, split at CR LF, CR and LF.
QStringList lines(const QString& text) {
    QStringList out{QString()};
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            out.append(QString());
        } else {
            out.last() += c;
        }
    }
    return out;
}

// The places between the characters of TEXT as the user sees them (a letter with its accents,
// a surrogate pair), from 0 to its length.
std::vector<qsizetype> characterBoundaries(const QString& text) {
    std::vector<qsizetype> places;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype at = 0; at >= 0; at = finder.toNextBoundary())
        places.push_back(at);
    return places;
}

// TEXT elided in its middle so that it is at most WIDTH wide; nothing when not even "…" fits.
QString elidedMiddle(const QString& text, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(Ellipsis) > width)
        return QString();
    return metrics.elidedText(text, Qt::ElideMiddle, width);
}

} // namespace

QString singleLine(const QString& text) {
    return lines(text).join(u' ');
}

QString fittedStatusLine(const QString& line, qsizetype folderEnd, const QFontMetrics& metrics,
                         int width) {
    if (metrics.horizontalAdvance(line) <= width)
        return line;
    const QString rest = line.mid(folderEnd);
    const QString folder = line.left(folderEnd);
    // Glyphs at the joint may draw a pixel wider than apart: narrow the folder until the whole
    // fits.
    for (int room = width - metrics.horizontalAdvance(rest); !folder.isEmpty();) {
        const QString shortFolder = elidedMiddle(folder, metrics, room);
        if (shortFolder.isEmpty())
            break;
        const QString fitted = shortFolder + rest;
        const int overflow = metrics.horizontalAdvance(fitted) - width;
        if (overflow <= 0)
            return fitted;
        room -= overflow;
    }
    const QString lead = folder.isEmpty() ? QString() : Ellipsis;
    return metrics.elidedText(lead + rest, Qt::ElideMiddle, width);
}

QStringList wrappedLines(const QString& text, const QFontMetrics& metrics, int width) {
    QStringList out;
    for (QString line : lines(text)) {
        while (metrics.horizontalAdvance(line) > width) {
            // The longest start of the line that fits, by whole characters: at least one.
            const std::vector<qsizetype> places = characterBoundaries(line);
            std::size_t low = 1, high = places.size() - 1;
            while (low < high) {
                const std::size_t middle = (low + high + 1) / 2;
                if (metrics.horizontalAdvance(line.left(places[middle])) <= width)
                    low = middle;
                else
                    high = middle - 1;
            }
            qsizetype cut = places[low];
            const qsizetype space = line.lastIndexOf(u' ', cut - 1);
            const qsizetype slash = line.lastIndexOf(u'/', cut - 1);
            if (const qsizetype after = std::max(space, slash) + 1; after > 0 && after < cut)
                cut = after;
            out.append(line.left(cut));
            line.remove(0, cut);
        }
        out.append(line);
    }
    return out;
}

QString literalToolTip(const QStringList& lines) {
    const QString text = lines.join(u'\n');
    // A tooltip renders anything that looks like markup as rich text; a file name holding
    // "<b>" must not turn the rest bold or hide parts of the text.
    if (!Qt::mightBeRichText(text))
        return text;
    return Qt::convertFromPlainText(text, Qt::WhiteSpacePre);
}

} // namespace lyremap
