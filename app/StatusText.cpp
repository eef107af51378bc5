#include "app/StatusText.h"

#include <QTextDocument>

namespace lyremap {

QString singleLine(const QString& text) {
    QString line;
    line.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            if (i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            line += u' ';
        } else if (c == u'\n') {
            line += u' ';
        } else {
            line += c;
        }
    }
    return line;
}

QString literalToolTip(const QString& text) {
    // A tooltip renders anything that looks like markup as rich text; a file name holding
    // "<b>" must not turn the rest bold or hide parts of the text.
    if (!Qt::mightBeRichText(text))
        return text;
    return Qt::convertFromPlainText(text, Qt::WhiteSpacePre);
}

} // namespace lyremap
