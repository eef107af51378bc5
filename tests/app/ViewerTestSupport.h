// Helpers for driving the viewer's window in process: answering the Open dialog and the failure
// box from a timer while the command that shows them waits, and drawing through a map target
// that fails part-way.
#pragma once

#include "app/MainForm.h"
#include "app/OpenDialog.h"
#include "base/Exception.h"
#include "map/MapSurface.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

namespace lyremap::test {

// Polls every few milliseconds until READY yields true, then runs ACT once; runs it after five
// seconds anyway, so a window that never gets ready is still answered and closed and the test
// fails on what it finds instead of hanging.
inline void whenReady(std::function<bool()> ready, std::function<void()> act) {
    auto* const timer = new QTimer(qApp);
    timer->setObjectName(QStringLiteral("whenReady"));
    const QDeadlineTimer deadline(5000);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        if (!ready() && !deadline.hasExpired())
            return;
        timer->stop();
        timer->deleteLater();
        act();
    });
    timer->start(5);
}

// Stops every poller still waiting, so none outlives its test and answers the next one's window.
inline void stopWaiting() {
    for (QTimer* timer :
         qApp->findChildren<QTimer*>(QStringLiteral("whenReady"), Qt::FindDirectChildrenOnly))
        delete timer;
}

// What the user does in the Open dialog once it shows.
struct DialogAnswer {
    enum Kind { Cancel, AcceptAsShown, Type } kind = AcceptAsShown;
    QString name; // for Type

    static DialogAnswer cancel() { return {Cancel, QString()}; }
    static DialogAnswer acceptAsShown() { return {AcceptAsShown, QString()}; }
    static DialogAnswer type(const QString& name) { return {Type, name}; }
};

// The file name field of the Open dialog.
inline QLineEdit* fileNameEdit(const TfmMain& form) {
    return form.dlgOpen->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

// What the Open dialog showed when it came up.
struct DialogSeen {
    bool shown = false;
    QString nameField; // the file name field's text
    QString selected;  // the first selected file as the dialog would return it
    QString folder;    // the folder it lists
};

// Whether the dialog has read its folder. It selects the file it was opened on only once the
// folder is read, and that selection would win over a name typed before it.
inline bool folderRead(const QFileDialog& dialog) {
    const auto* const model = dialog.findChild<QFileSystemModel*>();
    if (model == nullptr)
        return true;
    const QString folder = dialog.directory().absolutePath();
    const QModelIndex root = model->index(folder);
    if (model->rowCount(root) > 0)
        return true;
    // A folder with nothing to list never gets rows: there is nothing to wait for.
    return QDir(folder)
        .entryList(model->nameFilters(), QDir::AllEntries | QDir::NoDotAndDotDot)
        .isEmpty();
}

// Whether the dialog is ready for the user to type: shown, active (a name typed into its field
// without the focus there adds to the file selected in its list instead of replacing it), and
// with its folder read.
inline bool dialogReady(QFileDialog& dialog) {
    return dialog.isVisible() && QApplication::activeWindow() == &dialog && folderRead(dialog);
}

// Answers the Open dialog of FORM as soon as it shows; records what it showed in SEEN.
inline void answerOpenDialog(TfmMain& form, DialogAnswer answer, DialogSeen* seen = nullptr) {
    QPointer<QFileDialog> dialog = form.dlgOpen;
    whenReady([dialog] { return dialog && dialogReady(*dialog); },
              [&form, answer, seen] {
                  QLineEdit* const edit = fileNameEdit(form);
                  if (seen) {
                      seen->shown = true;
                      seen->nameField = edit ? edit->text() : QString();
                      seen->selected = form.dlgOpen->selectedFiles().value(0);
                      seen->folder = form.dlgOpen->directory().absolutePath();
                  }
                  if (answer.kind == DialogAnswer::Cancel) {
                      form.dlgOpen->reject();
                      return;
                  }
                  if (!edit)
                      return;
                  if (answer.kind == DialogAnswer::Type)
                      edit->setText(answer.name);
                  QTest::keyClick(edit, Qt::Key_Return);
              });
}

// The names of the files the Open dialog of FORM lists, sorted.
inline QStringList listedFiles(const TfmMain& form) {
    const auto* const model = form.dlgOpen->findChild<QFileSystemModel*>();
    QStringList names;
    if (model == nullptr)
        return names;
    const QModelIndex root = model->index(form.dlgOpen->directory().absolutePath());
    for (int row = 0; row < model->rowCount(root); ++row)
        if (const QModelIndex item = model->index(row, 0, root); !model->isDir(item))
            names << model->fileName(item);
    names.sort();
    return names;
}

// What the failure box showed.
struct ShownBox {
    bool shown = false;
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    bool okButton = false;
    bool modal = false;
};

// Dismisses the next message box with OK and records what it showed.
inline std::shared_ptr<ShownBox> dismissNextBox() {
    auto shown = std::make_shared<ShownBox>();
    whenReady([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); },
              [shown] {
                  auto* const box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                  if (!box)
                      return;
                  shown->shown = true;
                  shown->text = box->text();
                  shown->title = box->windowTitle();
                  shown->icon = box->icon();
                  shown->buttons = int(box->buttons().size());
                  shown->okButton = box->button(QMessageBox::Ok) != nullptr;
                  shown->modal = box->windowModality() == Qt::ApplicationModal;
                  box->button(QMessageBox::Ok)->click();
              });
    return shown;
}

// Passes every call on to a map surface and fails at the rectangle numbered FAIL_AT (from 0).
class FailingTarget : public MapTarget {
public:
    FailingTarget(MapSurface& surface, int failAt) : surface_(surface), failAt_(failAt) {}

    void ResetMap() override { surface_.ResetMap(); }
    void RefreshMap() override { surface_.RefreshMap(); }
    void SetPenStyle(PenStyle style) override { surface_.SetPenStyle(style); }
    void DrawRectangle(const MapRect& rect) override {
        if (drawn_ == failAt_)
            throw Exception(QStringLiteral("Leinwand/Bild erlaubt kein Zeichnen"));
        ++drawn_;
        surface_.DrawRectangle(rect);
    }

private:
    MapSurface& surface_;
    int failAt_;
    int drawn_ = 0;
};

} // namespace lyremap::test
