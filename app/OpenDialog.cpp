#include "app/OpenDialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QScreen>
#include <QWindow>
#include <utility>

namespace lyremap {

namespace {

QString xmlFilter() {
    return QStringLiteral("XML files (*.xml)");
}

// The frame the window manager has put around WINDOW; null while it is not shown, when what the
// window system reports may be stale or made up.
QMargins shownFrame(const QWindow* window) {
    if (!window || !window->isExposed())
        return QMargins();
    const QMargins frame = window->frameMargins();
    const bool plausible =
        frame.left() >= 0 && frame.top() >= 0 && frame.right() >= 0 && frame.bottom() >= 0;
    return plausible ? frame : QMargins();
}

// True when NAME, the last part of a path, is a pattern rather than a file's name.
bool isPattern(const QString& name) {
    return name.contains(u'*') || name.contains(u'?');
}

// PATTERN as a name filter of the file list, where "[" would open a set of characters: only "*"
// and "?" are wildcards in a typed name.
QString listFilter(QString pattern) {
    return pattern.replace(u'[', QStringLiteral("[[]"));
}

} // namespace

OpenDialog::OpenDialog(QWidget* parent) : QFileDialog(parent), fileName_(QStringLiteral("*.xml")) {
    setObjectName(QStringLiteral("dlgOpen"));
    setOption(QFileDialog::DontUseNativeDialog, true);
    // An open dialog that returns any name, existing or not; the load reports what is missing.
    setFileMode(QFileDialog::AnyFile);
    setAcceptMode(QFileDialog::AcceptOpen);
    setNameFilter(xmlFilter());
    setDefaultSuffix(QStringLiteral("xml"));
    setSizeGripEnabled(true);
    setWindowModality(Qt::ApplicationModal);
    selectFile(fileName_);
}

QString OpenDialog::choose() {
    QWidget* const active = QApplication::activeWindow();
    anchor_ = active ? active : parentWidget();
    // Whatever a cancelled showing was left holding (a name typed, another folder) gives way to
    // the initial name. The dialog selects a file it names only once it has read its folder, so
    // it is named again only where it must be.
    const QFileInfo initial(directory(), fileName_);
    if (nameField()->text() != initial.fileName() ||
        QDir::cleanPath(directory().absolutePath()) != QDir::cleanPath(initial.absolutePath()))
        selectFile(fileName_);
    const int answer = exec();
    hideCompletion();
    // The next showing lists what the filter entry selects. Filtered while hidden, the list
    // settles before the dialog shows again.
    if (std::exchange(patternApplied_, false))
        selectNameFilter(xmlFilter());
    if (answer != QDialog::Accepted)
        return QString();
    const QString chosen = selectedFiles().value(0);
    if (!chosen.isEmpty()) {
        fileName_ = chosen;
        selectFile(chosen);
    }
    return chosen;
}

void OpenDialog::accept() {
    // The name as typed: what the dialog returns has the default extension added, which would
    // turn a typed "*" into "*.xml".
    const QFileInfo named(directory().absoluteFilePath(nameField()->text()));
    const QString pattern = named.fileName();
    if (!isPattern(pattern)) {
        QFileDialog::accept();
        return;
    }
    const QString folder = named.path();
    if (!QFileInfo(folder).isDir())
        return;
    if (QFileInfo(folder) != QFileInfo(directory().absolutePath()))
        setDirectory(folder);
    if (auto* const model = findChild<QFileSystemModel*>())
        model->setNameFilters({listFilter(pattern)});
    patternApplied_ = true;
    nameField()->setText(pattern);
}

QPoint OpenDialog::placeOn(const QRect& monitor, const QSize& frameSize) {
    return QPoint(monitor.left() + (monitor.width() - frameSize.width()) / 2,
                  monitor.top() + (monitor.height() - frameSize.height()) / 3);
}

void OpenDialog::placeOnMonitor() {
    const QWidget* const anchor = anchor_ ? anchor_.data() : this;
    const QScreen* const screen = anchor->screen();
    QWindow* const window = windowHandle();
    if (!screen || !window)
        return;
    // The frame the window manager puts around the dialog is known only once it has shown the
    // dialog; until then the frame around the window the dialog belongs to stands in for it.
    QMargins frame = shownFrame(window);
    frameKnown_ = !frame.isNull();
    if (!frameKnown_)
        frame = shownFrame(anchor->windowHandle());
    const QPoint place = placeOn(screen->geometry(), size().grownBy(frame));
    setGeometry(QRect(place + QPoint(frame.left(), frame.top()), size()));
}

void OpenDialog::showEvent(QShowEvent* event) {
    placeOnMonitor();
    QFileDialog::showEvent(event);
}

bool OpenDialog::event(QEvent* event) {
    const bool handled = QFileDialog::event(event);
    // Placed once more as soon as the dialog's own frame is known, within its first showing.
    if (!frameKnown_ && isVisible() && !shownFrame(windowHandle()).isNull())
        placeOnMonitor();
    return handled;
}

QLineEdit* OpenDialog::nameField() const {
    // The toolkit's dialog has always named its file name field so.
    auto* const field = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    Q_ASSERT(field);
    return field;
}

void OpenDialog::hideCompletion() {
    // Return pressed while the file name's completion list is open accepts the dialog but leaves
    // the list, a window of its own, standing over the map.
    for (const QLineEdit* edit : findChildren<QLineEdit*>())
        if (const QCompleter* completer = edit->completer())
            if (completer->popup())
                completer->popup()->hide();
}

} // namespace lyremap
