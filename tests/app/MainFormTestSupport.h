// What the viewer's window tests share: the window each test function gets afresh (with a fake
// clipboard and counted beeps), looking at what it shows, and the program around the tests. Each
// test program runs under the viewer's own application object, made with the toolkit's own
// command-line options, which it must ignore, and in a home folder of its own, which holds
// another Qt program's file dialog state and must be neither read nor changed.
#pragma once

#include "FakeClipboard.h"
#include "TestSupport.h"
#include "ViewerTestSupport.h"

#include "app/FailureDisplay.h"
#include "app/MainForm.h"
#include "app/MapImage.h"
#include "app/OpenDialog.h"
#include "app/StatusText.h"
#include "app/ViewerApplication.h"
#include "app/WindowMetrics.h"
#include "layout/OpenLayout.h"
#include "map/MapSurface.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QDirIterator>
#include <QFileDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <QWindow>
#include <memory>

namespace lyremap::test {

using namespace Qt::StringLiterals;

inline const QString Title = QStringLiteral("Varnholt lyreWindow Map Viewer");

inline QString example(const char* name) {
    return sourceDir() + QStringLiteral("/examples/") + QString::fromLatin1(name);
}

// The map lyremap-render draws for PATH: the same open sequence on a surface of its own.
inline QImage renderedMap(const QString& path) {
    MapSurface surface;
    XmlDocument document;
    OpenLayout(document, surface, path);
    return surface.raster();
}

// A map just reset: white with the dashed border.
inline QImage resetMap() {
    MapSurface surface;
    surface.ResetMap();
    return surface.raster();
}

// What the image area shows on screen.
inline QImage shownMap(const TfmMain& form) {
    return form.imgMap->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline QLabel* statusField(const TfmMain& form) {
    return form.stbMain->findChild<QLabel*>(QStringLiteral("stbMainText"));
}

// The lines a tooltip shows, as plain text.
inline QStringList toolTipLines(const QString& toolTip) {
    QTextDocument shown;
    if (Qt::mightBeRichText(toolTip))
        shown.setHtml(toolTip);
    else
        shown.setPlainText(toolTip);
    return shown.toPlainText().split(u'\n');
}

// The private home the tests run in, and another Qt program's file dialog state planted there:
// its last folder ("elsewhere", holding a layout) and its history.
inline QString home;
inline QStringList plantedHome;

// Every file and folder below the home, each file with its contents.
inline QStringList homeContents() {
    QStringList found;
    QDirIterator it(home, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        found << it.filePath() + u' ' +
                     QString::fromUtf8(file.open(QIODevice::ReadOnly) ? file.readAll() : "/");
    }
    found.sort();
    return found;
}

// An event whose handling fails.
class FailingObject : public QObject {
public:
    static constexpr QEvent::Type Fail = QEvent::Type(QEvent::User + 1);
    int handled = 0;

    bool event(QEvent* event) override {
        if (event->type() != Fail)
            return QObject::event(event);
        ++handled;
        throw Exception(QStringLiteral("Ereignis ist fehlgeschlagen"));
    }
};

// The window under test, made and shown before each test function and gone after it; at the end
// of the program the private home must hold just what was planted there.
class MainFormFixture : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void cleanupTestCase();

protected:
    // Runs an Open of the form answered with ANSWER and waits for it to finish.
    void open(DialogAnswer answer, DialogSeen* seen = nullptr);
    void openFile(const QString& path) { open(DialogAnswer::type(path)); }

    std::unique_ptr<TfmMain> form_;
    std::shared_ptr<FakeClipboard> clipboard_;
    int beeps_ = 0;
};

inline void MainFormFixture::init() {
    beeps_ = 0;
    clipboard_ = std::make_shared<FakeClipboard>();
    MainFormServices services;
    services.beep = [this] { ++beeps_; };
    services.clipboard = clipboard_;
    services.dotsPerInch = 96;
    form_ = std::make_unique<TfmMain>(services);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
}

inline void MainFormFixture::cleanup() {
    stopWaiting();
    form_.reset();
}

inline void MainFormFixture::cleanupTestCase() {
    // Every window and dialog is gone: whatever they would keep has been written by now.
    QCOMPARE(homeContents(), plantedHome);
}

inline void MainFormFixture::open(DialogAnswer answer, DialogSeen* seen) {
    answerOpenDialog(*form_, answer, seen);
    form_->mniFile_Open->trigger();
    QVERIFY(!form_->dlgOpen->isVisible());
}

// The program around the test class TEST: the private home with its planted state, and the
// viewer's application object made with the toolkit's own options.
template <class Test> int runMainFormTest(int argc, char* argv[]) {
    // A home of its own, holding another Qt program's file dialog state.
    const QTemporaryDir privateHome;
    home = privateHome.path();
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + u"/.config"_s));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home + u"/.cache"_s));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home + u"/.local/share"_s));
    const QByteArray elsewhere = QUrl::fromLocalFile(home + u"/elsewhere"_s).toEncoded();
    ScratchDir::writeTo(home + u"/elsewhere/planted.xml"_s, "<widget_description/>");
    ScratchDir::writeTo(home + u"/.config/QtProject.conf"_s,
                        "[FileDialog]\nhistory=" + elsewhere + "\nlastVisited=" + elsewhere +
                            "\nsidebarWidth=90\nviewMode=Detail\n");
    plantedHome = homeContents();

    // The toolkit's own options, each of which would change the window if it were read.
    std::vector<QByteArray> options{argv[0],  "-reverse",         "-qwindowtitle",
                                    "other",  "-qwindowgeometry", "300x200+5+5",
                                    "-style", "windows"};
    std::vector<char*> viewerArgv;
    for (QByteArray& option : options)
        viewerArgv.push_back(option.data());
    ViewerApplication app(int(viewerArgv.size()), viewerArgv.data());
    Test test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace lyremap::test
