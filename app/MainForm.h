// TfmMain, the viewer's main window fmMain: the map in a scroll box on a panel, a one-field
// status bar and the menu, with the three commands File > Open, File > Exit and Edit > Copy.
//
// Every component exists under its own name, as a member and as its objectName. The window has
// a fixed size and place, and offers only its system menu, minimising and closing: it can be
// neither maximised nor resized. The commands run through a guard that shows any failure
// escaping them in the default failure display; Open catches its own load and drawing failures
// and reports them in the status bar with a beep.
#pragma once

#include "app/WindowMetrics.h"
#include "layout/xml/XmlDocument.h"
#include "map/Clipboard.h"

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>

class QAction;
class QFrame;
class QMenu;
class QMenuBar;
class QScrollArea;
class QStatusBar;

namespace lyremap {

class MapImage;
class MapSurface;
class MapTarget;
class OpenDialog;
class StatusField;

// The XML document as a component of the window, so it is found by name like the others.
class XmlDocumentComponent final : public QObject {
    Q_OBJECT
public:
    explicit XmlDocumentComponent(QObject* parent) : QObject(parent) {}
    XmlDocument document;
};

// What the window uses of the system; defaults are the real ones.
struct MainFormServices {
    std::function<void()> beep;           // the failure sound; QApplication::beep if empty
    std::shared_ptr<Clipboard> clipboard; // the clipboard; the system's if null
    double dotsPerInch = 0;               // screen density; the primary screen's if 0
};

class TfmMain final : public QMainWindow {
    Q_OBJECT
public:
    explicit TfmMain(MainFormServices services = {}, QWidget* parent = nullptr);
    ~TfmMain() override;

    // The components, in creation order; the window owns them all.
    QStatusBar* stbMain = nullptr;          // status bar with the one outcome text
    QFrame* pnlMain = nullptr;              // panel with the 8-pixel border
    QScrollArea* scbMain = nullptr;         // white scroll box with the sunken edge
    MapImage* imgMap = nullptr;             // the map, owning the map surface
    QMenuBar* mnuMainMenu = nullptr;        // the menu bar
    QMenu* mnuFile = nullptr;               // "&File"
    QAction* mniFile_Open = nullptr;        // "&Open...", Ctrl+O
    QAction* mniFile_Exit = nullptr;        // "E&xit"
    QMenu* mnuEdit = nullptr;               // "&Edit"
    QAction* mniEdit_Copy = nullptr;        // "Copy", Ctrl+C
    XmlDocumentComponent* xmlDoc = nullptr; // the loaded layout document
    OpenDialog* dlgOpen = nullptr;          // the Open dialog (Qt's own, not native)

    // The map surface shown by imgMap.
    MapSurface& surface();
    // The status bar's whole text, line breaks included.
    const QString& statusText() const;
    // The sizes the window was built with.
    const WindowMetrics& metrics() const { return metrics_; }
    // Draws the Open command through TARGET instead of straight onto the surface; TARGET must
    // pass its calls on to surface(). Null restores the surface. Not owned.
    void setDrawingTarget(MapTarget* target) { drawingTarget_ = target; }

public slots:
    // File > Open: choose a layout, draw its map, report the outcome in the status bar.
    void mniFile_OpenClick();
    // File > Exit: close the window, which ends the program.
    void mniFile_ExitClick();
    // Edit > Copy: place the map on the clipboard.
    void mniEdit_CopyClick();

private:
    void createMenu();
    void createMapArea();
    void createStatusBar();

    MainFormServices services_;
    WindowMetrics metrics_;
    StatusField* statusField_ = nullptr;
    MapTarget* drawingTarget_ = nullptr;
};

} // namespace lyremap
