// dlgOpen: the file-open dialog of File > Open, the toolkit's own (never a desktop's native one).
//
// It asks for one XML file by name. It filters its list with its one entry "XML files (*.xml)",
// returns any name typed, existing or not, made into a full path, and appends ".xml" to a name
// typed without extension. Each time it is shown its name field holds "*.xml", or from the
// second time on the full path of the file chosen last, and its list the entry's filter.
// A name whose last part holds a wildcard ("*" or "?"), such as the untouched "*.xml" or a
// typed "d*.xml" or "sub/*.xml", is no file: accepting it filters the list by that pattern (in
// the folder it names, when it names an existing one) and keeps the dialog open.
// It is placed centred across the monitor of the active window, its top edge a third of the way
// down the height that it leaves free there.
#pragma once

#include <QFileDialog>
#include <QPointer>
#include <QString>

class QLineEdit;

namespace lyremap {

class OpenDialog final : public QFileDialog {
    Q_OBJECT
public:
    explicit OpenDialog(QWidget* parent);

    // Shows the dialog modally; the full path of the file chosen, or empty when the user
    // cancelled. A chosen file is also the next showing's initial name.
    QString choose();

    // Where the dialog's outer frame of FRAME_SIZE stands on a monitor with the geometry MONITOR.
    static QPoint placeOn(const QRect& monitor, const QSize& frameSize);

public slots:
    // Returns the file named, or filters the list by a wildcard pattern and stays open.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void placeOnMonitor();
    QLineEdit* nameField() const;
    void hideCompletion();

    QString fileName_;            // the name the next showing starts with
    QPointer<QWidget> anchor_;    // the window whose monitor the dialog is placed on
    bool frameKnown_ = false;     // whether the last placement knew the dialog's own frame
    bool patternApplied_ = false; // whether a typed pattern filters the list
};

} // namespace lyremap
