#include "app/StatusField.h"

#include "app/StatusText.h"

#include <QScreen>
#include <QToolTip>
#include <algorithm>

namespace lyremap {

StatusField::StatusField(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::NoTextInteraction);
    // The label must not ask for the width of its whole text: the window's width is fixed.
    setMinimumWidth(1);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void StatusField::setOutcome(const QString& text, const QString& fileName) {
    outcome_ = text;
    line_ = singleLine(text);
    const QString nameLine = singleLine(fileName);
    folderEnd_ = line_.startsWith(nameLine) ? nameLine.lastIndexOf(u'/') + 1 : 0;
    fit();
}

void StatusField::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    fit();
}

void StatusField::fit() {
    const int width = contentsRect().width();
    setText(fittedStatusLine(line_, folderEnd_, fontMetrics(), width));
    // The tooltip's lines are no wider than the field, and leave room on the screen for the
    // tooltip's own frame and margins.
    int tipWidth = width;
    if (const QScreen* const shown = screen())
        tipWidth = std::min(tipWidth, shown->availableGeometry().width() - 32);
    QStringList lines = wrappedLines(outcome_, QFontMetrics(QToolTip::font()), tipWidth);
    // A parser's message ends in a line break, which would leave an empty line at the bottom.
    while (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast();
    setToolTip(literalToolTip(lines));
}

} // namespace lyremap
