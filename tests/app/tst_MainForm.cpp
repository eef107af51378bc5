// The viewer's main window: its components, sizes and texts, the keys that reach its commands,
// the Open flow through the dialog, Copy with the clipboard's failures, the default failure
// display and Exit. Runs under the viewer's own application object.
#include "FakeClipboard.h"
#include "TestSupport.h"
#include "ViewerTestSupport.h"

#include "app/FailureDisplay.h"
#include "app/MainForm.h"
#include "app/MapImage.h"
#include "app/StatusText.h"
#include "app/ViewerApplication.h"
#include "app/WindowMetrics.h"
#include "layout/OpenLayout.h"
#include "map/MapSurface.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTextDocument>
#include <memory>

using namespace lyremap;
using namespace lyremap::test;

namespace {

const QString Title = QStringLiteral("Varnholt lyreWindow Map Viewer");

QString example(const char* name) {
    return sourceDir() + QStringLiteral("/examples/") + QString::fromLatin1(name);
}

// The map lyremap-render draws for PATH: the same open sequence on a surface of its own.
QImage renderedMap(const QString& path) {
    MapSurface surface;
    XmlDocument document;
    OpenLayout(document, surface, path);
    return surface.raster();
}

// A map just reset: white with the dashed border.
QImage resetMap() {
    MapSurface surface;
    surface.ResetMap();
    return surface.raster();
}

// What the image area shows on screen.
QImage shownMap(const TfmMain& form) {
    return form.imgMap->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QLabel* statusField(const TfmMain& form) {
    return form.stbMain->findChild<QLabel*>(QStringLiteral("stbMainText"));
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

} // namespace

class MainFormTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void components_data();
    void components();
    void titles();
    void geometry();
    void menuItems_data();
    void menuItems();
    void blankBeforeFirstOpen();
    void metrics_data();
    void metrics();
    void denserScreenGrowsTheWindow();
    void fullStop_data();
    void fullStop();
    void singleLine_data();
    void singleLine();

    void keysReachCommands_data();
    void keysReachCommands();
    void dialogSettings();
    void openLoads();
    void openFailureBeepsAndClears();
    void cancelChangesNothing();
    void secondOpenClearsTheFirst();
    void failureMidWalkKeepsWhatWasDrawn();
    void untouchedNameIsAFailedLoad();
    void dialogStartsFromTheLastFile();
    void typedNameGetsTheDefaultSuffix();
    void namesArriveUnchanged_data();
    void namesArriveUnchanged();
    void lineBreaksInTheStatus();
    void markupInAFileNameShowsLiterally();

    void copyBeforeOpen();
    void copyAfterOpenOnTheSystemClipboard();
    void copyFailuresAreShown_data();
    void copyFailuresAreShown();
    void failureInEventHandlingIsShown();
    void exitEndsWithStatusZero_data();
    void exitEndsWithStatusZero();

private:
    // Runs an Open of the form answered with ANSWER and waits for it to finish.
    void open(DialogAnswer answer, DialogSeen* seen = nullptr);
    void openFile(const QString& path) { open(DialogAnswer::type(path)); }

    std::unique_ptr<TfmMain> form_;
    std::shared_ptr<FakeClipboard> clipboard_;
    int beeps_ = 0;
};

void MainFormTest::init() {
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

void MainFormTest::cleanup() {
    stopWaiting();
    form_.reset();
}

void MainFormTest::open(DialogAnswer answer, DialogSeen* seen) {
    answerOpenDialog(*form_, answer, seen);
    form_->mniFile_Open->trigger();
    QVERIFY(!form_->dlgOpen->isVisible());
}

void MainFormTest::components_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    const auto row = [](const char* name, const char* className) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(className);
    };
    row("stbMain", "QStatusBar");
    row("pnlMain", "QFrame");
    row("scbMain", "QScrollArea");
    row("imgMap", "lyremap::MapImage");
    row("mnuMainMenu", "QMenuBar");
    row("mnuFile", "QMenu");
    row("mniFile_Open", "QAction");
    row("mniFile_Exit", "QAction");
    row("mnuEdit", "QMenu");
    row("mniEdit_Copy", "QAction");
    row("xmlDoc", "lyremap::XmlDocumentComponent");
    row("dlgOpen", "QFileDialog");
}

void MainFormTest::components() {
    QFETCH(QString, name);
    QFETCH(QString, className);
    QCOMPARE(form_->objectName(), QStringLiteral("fmMain"));
    const QObject* const component = form_->findChild<QObject*>(name);
    QVERIFY2(component, qPrintable(name));
    QCOMPARE(QString::fromLatin1(component->metaObject()->className()), className);
}

void MainFormTest::titles() {
    QCOMPARE(form_->windowTitle(), Title);
    QCOMPARE(QApplication::applicationDisplayName(), Title);
}

void MainFormTest::geometry() {
    const int menuHeight = form_->mnuMainMenu->height();
    QVERIFY(menuHeight > 0);
    QCOMPARE(form_->width(), 820);
    QCOMPARE(form_->height() - menuHeight, 639);
    QCOMPARE(form_->minimumSize(), form_->maximumSize());
    QCOMPARE(form_->pos(), QPoint(386, 106));
    QCOMPARE(form_->mnuMainMenu->geometry(), QRect(0, 0, 820, menuHeight));

    QCOMPARE(form_->pnlMain->geometry(), QRect(0, menuHeight, 820, 620));
    QCOMPARE(form_->scbMain->geometry(), QRect(8, 8, 804, 604));
    QCOMPARE(form_->scbMain->frameWidth(), 2);
    QCOMPARE(form_->scbMain->viewport()->size(), QSize(800, 600));
    QVERIFY(!form_->scbMain->horizontalScrollBar()->isVisible());
    QVERIFY(!form_->scbMain->verticalScrollBar()->isVisible());
    QCOMPARE(form_->imgMap->geometry(), QRect(0, 0, 800, 600));
    QCOMPARE(form_->surface().size(), QSize(800, 600));

    QCOMPARE(form_->stbMain->geometry(), QRect(0, menuHeight + 620, 820, 19));
    QVERIFY(!form_->stbMain->isSizeGripEnabled());
    // One text field across the whole bar, apart from the bar's own margins.
    QVERIFY2(statusField(*form_)->width() >= 800,
             qPrintable(QString::number(statusField(*form_)->width())));

    QCOMPARE(form_->font().family(), QStringLiteral("MS Sans Serif"));
    QCOMPARE(form_->font().pixelSize(), 11);
}

void MainFormTest::menuItems_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::newRow("Open") << QStringLiteral("mniFile_Open") << QStringLiteral("&File")
                          << QStringLiteral("&Open...\tStrg+O")
                          << QKeySequence(Qt::CTRL | Qt::Key_O);
    QTest::newRow("Exit") << QStringLiteral("mniFile_Exit") << QStringLiteral("&File")
                          << QStringLiteral("E&xit") << QKeySequence();
    QTest::newRow("Copy") << QStringLiteral("mniEdit_Copy") << QStringLiteral("&Edit")
                          << QStringLiteral("Copy\tStrg+C") << QKeySequence(Qt::CTRL | Qt::Key_C);
}

void MainFormTest::menuItems() {
    QFETCH(QString, name);
    QFETCH(QString, menu);
    QFETCH(QString, text);
    QFETCH(QKeySequence, shortcut);
    const QAction* const action = form_->findChild<QAction*>(name);
    QVERIFY(action);
    QCOMPARE(action->text(), text);
    QCOMPARE(action->shortcut(), shortcut);
    QVERIFY(action->isEnabled());
    QVERIFY(action->isVisible());
    QVERIFY(!action->isCheckable());
    const QList<QObject*> owners = action->associatedObjects();
    const auto inMenu = std::find_if(owners.begin(), owners.end(), [&](QObject* owner) {
        const auto* const m = qobject_cast<QMenu*>(owner);
        return m && m->title() == menu;
    });
    QVERIFY(inMenu != owners.end());

    // The bar holds exactly the two menus, in order.
    QStringList titles;
    for (const QAction* top : form_->mnuMainMenu->actions())
        titles << top->text();
    QCOMPARE(titles, (QStringList{QStringLiteral("&File"), QStringLiteral("&Edit")}));
}

void MainFormTest::blankBeforeFirstOpen() {
    QVERIFY(!form_->surface().hasRaster());
    QVERIFY(form_->statusText().isEmpty());
    QVERIFY(statusField(*form_)->text().isEmpty());
    QImage white(800, 600, QImage::Format_RGB32);
    white.fill(Qt::white);
    const QImage shown =
        form_->scbMain->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown, white);
}

void MainFormTest::metrics_data() {
    QTest::addColumn<double>("dpi");
    QTest::addColumn<int>("font");
    QTest::addColumn<QSize>("client");
    QTest::addColumn<int>("status");
    QTest::addColumn<QSize>("image");
    QTest::newRow("96: as designed") << 96.0 << 11 << QSize(820, 639) << 19 << QSize(800, 600);
    QTest::newRow("97: same text height") << 97.0 << 11 << QSize(820, 639) << 19 << QSize(800, 600);
    QTest::newRow("120: text 16") << 120.0 << 14 << QSize(1009, 786) << 23 << QSize(989, 743);
    QTest::newRow("144: text 20") << 144.0 << 17 << QSize(1262, 983) << 29 << QSize(1242, 934);
    QTest::newRow("192: text 26") << 192.0 << 22 << QSize(1640, 1278) << 38 << QSize(1620, 1220);
    QTest::newRow("72: text 10") << 72.0 << 8 << QSize(631, 492) << 15 << QSize(611, 457);
    QTest::newRow("unknown: as designed") << 0.0 << 11 << QSize(820, 639) << 19 << QSize(800, 600);
}

void MainFormTest::metrics() {
    QFETCH(double, dpi);
    QFETCH(int, font);
    QFETCH(QSize, client);
    QFETCH(int, status);
    QFETCH(QSize, image);
    const WindowMetrics m = windowMetrics(dpi);
    QCOMPARE(m.fontPixels, font);
    QCOMPARE(m.client, client);
    QCOMPARE(m.statusHeight, status);
    QCOMPARE(m.image(), image);
}

void MainFormTest::denserScreenGrowsTheWindow() {
    MainFormServices services;
    services.dotsPerInch = 120;
    services.clipboard = clipboard_;
    form_ = std::make_unique<TfmMain>(services);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    QCOMPARE(form_->width(), 1009);
    QCOMPARE(form_->height() - form_->mnuMainMenu->height(), 786);
    QCOMPARE(form_->stbMain->height(), 23);
    QCOMPARE(form_->font().pixelSize(), 14);
    QCOMPARE(form_->imgMap->size(), QSize(989, 743));
    QCOMPARE(form_->scbMain->viewport()->size(), QSize(989, 743));
    QVERIFY(!form_->scbMain->horizontalScrollBar()->isVisible());
    QVERIFY(!form_->scbMain->verticalScrollBar()->isVisible());
    // The raster is made at the image's size, and a reset map borders it.
    open(DialogAnswer::acceptAsShown());
    QCOMPARE(form_->surface().raster().size(), QSize(989, 743));
    QCOMPARE(form_->surface().raster().pixel(988, 742), qRgb(0, 0, 0));
}

void MainFormTest::fullStop_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    const auto same = [](const char* name, const QString& text) {
        QTest::newRow(name) << text << text;
    };
    const auto dotted = [](const char* name, const QString& text) {
        QTest::newRow(name) << text << text + u'.';
    };
    dotted("letter", QStringLiteral("Zwischenablage kann nicht geöffnet werden"));
    dotted("digit", QStringLiteral("Fehler 5"));
    dotted("colon", QStringLiteral("Datei:"));
    dotted("question mark", QStringLiteral("Was?"));
    dotted("slash", QStringLiteral("/tmp/"));
    dotted("beyond 0x80", QStringLiteral("Größe ß"));
    dotted("surrogate pair", QStringLiteral("Noten \U0001D11E"));
    same("full stop", QStringLiteral("Systemressourcen erschöpft."));
    same("exclamation mark", QStringLiteral("Halt!"));
    same("parenthesis", QStringLiteral("(nichts)"));
    same("quote", QStringLiteral("Name \"x\""));
    same("space", QStringLiteral("Ende "));
    same("line break", QStringLiteral("Linie: 0\r\n"));
    same("hyphen", QStringLiteral("a-"));
    same("empty", QString());
}

void MainFormTest::fullStop() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(failureDisplayText(message), shown);
}

void MainFormTest::singleLine_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("line");
    QTest::newRow("plain") << QStringLiteral("a.xml loaded.") << QStringLiteral("a.xml loaded.");
    QTest::newRow("CR LF") << QStringLiteral("x\r\nLinie: 6\r\n  <a")
                           << QStringLiteral("x Linie: 6   <a");
    QTest::newRow("lone LF and CR") << QStringLiteral("a\nb\rc") << QStringLiteral("a b c");
    QTest::newRow("LF CR is two breaks") << QStringLiteral("a\n\rb") << QStringLiteral("a  b");
    QTest::newRow("trailing CR") << QStringLiteral("a\r") << QStringLiteral("a ");
    QTest::newRow("empty") << QString() << QString();
}

void MainFormTest::singleLine() {
    QFETCH(QString, text);
    QFETCH(QString, line);
    QCOMPARE(lyremap::singleLine(text), line);
}

void MainFormTest::keysReachCommands_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<bool>("opens");
    QTest::newRow("Ctrl+O") << QStringLiteral("Ctrl+O") << true;
    QTest::newRow("Alt+F then O") << QStringLiteral("Alt+F,O") << true;
    QTest::newRow("Ctrl+C") << QStringLiteral("Ctrl+C") << false;
}

void MainFormTest::keysReachCommands() {
    QFETCH(QString, keys);
    QFETCH(bool, opens);
    DialogSeen seen;
    answerOpenDialog(*form_, DialogAnswer::cancel(), &seen);
    if (keys == QLatin1String("Ctrl+O")) {
        QTest::keyClick(form_->imgMap, Qt::Key_O, Qt::ControlModifier);
    } else if (keys == QLatin1String("Ctrl+C")) {
        QTest::keyClick(form_->imgMap, Qt::Key_C, Qt::ControlModifier);
    } else {
        QTest::keyClick(form_.get(), Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(form_->mnuFile->isVisible());
        QTest::keyClick(form_->mnuFile, Qt::Key_O);
    }
    QTRY_COMPARE(seen.shown, opens);
    QCOMPARE(clipboard_->calls.isEmpty(), opens);
    if (!opens) {
        // Let a dialog that should not come have its chance to show, then close the answerer.
        QTest::qWait(50);
        QVERIFY(!seen.shown);
        form_->dlgOpen->show();
        QTRY_VERIFY(seen.shown);
    }
}

void MainFormTest::dialogSettings() {
    const QFileDialog* const dialog = form_->dlgOpen;
    QCOMPARE(dialog->parent(), form_.get());
    QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
    QCOMPARE(dialog->fileMode(), QFileDialog::AnyFile);
    QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
    QCOMPARE(dialog->nameFilters(), QStringList{QStringLiteral("XML files (*.xml)")});
    QCOMPARE(dialog->defaultSuffix(), QStringLiteral("xml"));
    QVERIFY(dialog->isSizeGripEnabled());
    QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);
}

void MainFormTest::openLoads() {
    const QString path = example("dialog.xml");
    openFile(path);
    QCOMPARE(form_->statusText(), path + QStringLiteral(" loaded."));
    QCOMPARE(statusField(*form_)->text(), form_->statusText());
    QCOMPARE(beeps_, 0);
    QVERIFY(form_->xmlDoc->document.Active());
    QCOMPARE(form_->xmlDoc->document.FileName(), path);
    const QImage expected = renderedMap(path);
    QCOMPARE(form_->surface().raster(), expected);
    QCOMPARE(shownMap(*form_), expected);
}

void MainFormTest::openFailureBeepsAndClears() {
    ScratchDir dir;
    openFile(example("dialog.xml"));
    const QString missing = dir.path(QStringLiteral("missing.xml"));
    openFile(missing);
    QCOMPARE(beeps_, 1);
    QVERIFY2(form_->statusText().startsWith(missing + QStringLiteral(" failed: ")),
             qPrintable(form_->statusText()));
    // The loader's message, unchanged: no full stop is added in the status bar.
    QCOMPARE(form_->statusText(),
             missing + QStringLiteral(" failed: Die Datei existiert nicht\r\nLinie: 0\r\n"));
    QVERIFY(!form_->xmlDoc->document.Active());
    QCOMPARE(shownMap(*form_), resetMap());
}

void MainFormTest::cancelChangesNothing() {
    // Cancelled before any Open: no raster is made, the area stays blank.
    open(DialogAnswer::cancel());
    QVERIFY(!form_->surface().hasRaster());
    QVERIFY(form_->statusText().isEmpty());

    const QString path = example("toolbar.xml");
    openFile(path);
    const QString status = form_->statusText();
    const QImage map = form_->surface().raster().copy();
    open(DialogAnswer::cancel());
    QCOMPARE(form_->statusText(), status);
    QCOMPARE(form_->surface().raster(), map);
    QCOMPARE(shownMap(*form_), map);
    QVERIFY(form_->xmlDoc->document.Active());
    QCOMPARE(form_->xmlDoc->document.FileName(), path);
    QCOMPARE(beeps_, 0);
}

void MainFormTest::secondOpenClearsTheFirst() {
    openFile(example("dialog.xml"));
    const QString second = example("toolbar.xml");
    openFile(second);
    QCOMPARE(form_->statusText(), second + QStringLiteral(" loaded."));
    QCOMPARE(shownMap(*form_), renderedMap(second));
    // Opening the same file again gives the same map.
    openFile(second);
    QCOMPARE(shownMap(*form_), renderedMap(second));
}

void MainFormTest::failureMidWalkKeepsWhatWasDrawn() {
    const QString path = example("dialog.xml");
    FailingTarget failing(form_->surface(), 3);
    form_->setDrawingTarget(&failing);
    openFile(path);
    form_->setDrawingTarget(nullptr);
    QCOMPARE(beeps_, 1);
    QCOMPARE(form_->statusText(),
             path + QStringLiteral(" failed: Leinwand/Bild erlaubt kein Zeichnen"));

    // The map shows exactly the first three rectangles of the walk on the reset map.
    MapSurface expected;
    FailingTarget reference(expected, 3);
    XmlDocument document;
    OpenLayout(document, reference, path);
    QVERIFY(expected.raster() != resetMap());
    QVERIFY(expected.raster() != renderedMap(path));
    QCOMPARE(form_->surface().raster(), expected.raster());
    QTRY_COMPARE(shownMap(*form_), expected.raster());
}

void MainFormTest::untouchedNameIsAFailedLoad() {
    DialogSeen seen;
    open(DialogAnswer::acceptAsShown(), &seen);
    QCOMPARE(seen.nameField, QStringLiteral("*.xml"));
    QCOMPARE(beeps_, 1);
    QVERIFY2(form_->statusText().contains(QStringLiteral("/*.xml failed: ")),
             qPrintable(form_->statusText()));
    QVERIFY(form_->surface().hasRaster());
}

void MainFormTest::dialogStartsFromTheLastFile() {
    ScratchDir dir;
    const QString missing = dir.path(QStringLiteral("gone.xml"));
    openFile(missing);
    DialogSeen seen;
    open(DialogAnswer::cancel(), &seen);
    QCOMPARE(seen.selected, missing);

    const QString path = example("toolbar.xml");
    openFile(path);
    open(DialogAnswer::cancel(), &seen);
    QCOMPARE(seen.selected, path);
}

void MainFormTest::typedNameGetsTheDefaultSuffix() {
    ScratchDir dir;
    const QString path = dir.write(QStringLiteral("plain.xml"), "<widget_description/>");
    form_->dlgOpen->setDirectory(dir.path(QString()));
    open(DialogAnswer::type(QStringLiteral("plain")));
    QCOMPARE(form_->statusText(), QFileInfo(path).absoluteFilePath() + QStringLiteral(" loaded."));
}

void MainFormTest::namesArriveUnchanged_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::newRow("beyond any code page") << QString() << QStringLiteral("карта 地図 ☃.xml");
    QTest::newRow("path beyond 260 characters")
        << QString(QStringLiteral("ordner-mit-langem-namen-").repeated(4) + u'/').repeated(3)
        << QStringLiteral("layout.xml");
}

void MainFormTest::namesArriveUnchanged() {
    QFETCH(QString, folder);
    QFETCH(QString, name);
    ScratchDir dir;
    QVERIFY(QDir().mkpath(dir.path(folder)));
    const QString path = QDir::cleanPath(dir.path(folder + name));
    QVERIFY(folder.isEmpty() || path.size() > 260);
    dir.write(folder + name, "<widget_description/>");
    openFile(path);
    QCOMPARE(form_->statusText(), path + QStringLiteral(" loaded."));
    QCOMPARE(statusField(*form_)->text(), form_->statusText());
}

void MainFormTest::lineBreaksInTheStatus() {
    const QString path = sourceDir() + QStringLiteral("/tests/render/data/broken.xml");
    openFile(path);
    const QString status = form_->statusText();
    QVERIFY2(status.contains(QStringLiteral("\r\nLinie: 6\r\n")), qPrintable(status));
    const QLabel* const field = statusField(*form_);
    QVERIFY(!field->text().contains(u'\r'));
    QVERIFY(!field->text().contains(u'\n'));
    QCOMPARE(field->text(), QString(status).replace(QStringLiteral("\r\n"), QStringLiteral(" ")));
    QCOMPARE(field->toolTip(), status);
}

void MainFormTest::markupInAFileNameShowsLiterally() {
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("<b>x</b>.xml"));
    QDir().mkpath(QFileInfo(path).path());
    openFile(path);
    const QString status = form_->statusText();
    QVERIFY2(status.startsWith(path + QStringLiteral(" failed: ")), qPrintable(status));
    const QLabel* const field = statusField(*form_);
    QCOMPARE(field->textFormat(), Qt::PlainText);
    QTextDocument shown;
    shown.setHtml(field->toolTip());
    QVERIFY2(shown.toPlainText().contains(QStringLiteral("<b>x</b>.xml failed: ")),
             qPrintable(shown.toPlainText()));
}

void MainFormTest::copyBeforeOpen() {
    form_->mniEdit_Copy->trigger();
    QCOMPARE(clipboard_->calls,
             (QStringList{QStringLiteral("open"), QStringLiteral("empty"),
                          QStringLiteral("setBitmap null"), QStringLiteral("close")}));
    QVERIFY(!form_->surface().hasRaster());
    QVERIFY(form_->statusText().isEmpty());
    // The next Open shows the full map as usual.
    const QString path = example("toolbar.xml");
    openFile(path);
    QCOMPARE(shownMap(*form_), renderedMap(path));
}

void MainFormTest::copyAfterOpenOnTheSystemClipboard() {
    MainFormServices services;
    services.beep = [] {};
    services.dotsPerInch = 96;
    form_ = std::make_unique<TfmMain>(services);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    const QString path = example("dialog.xml");
    openFile(path);
    const QString status = form_->statusText();
    const QImage map = form_->surface().raster().copy();
    form_->mniEdit_Copy->trigger();
    QImage copied = QGuiApplication::clipboard()->image();
    QCOMPARE(copied.size(), QSize(800, 600));
    QCOMPARE(copied.convertToFormat(QImage::Format_RGB32), map);
    QCOMPARE(form_->statusText(), status);
    QCOMPARE(form_->surface().raster(), map);
    QCOMPARE(form_->surface().penStyle(), PenStyle::Solid);
    QVERIFY(!form_->surface().fillsWhite());
}

void MainFormTest::copyFailuresAreShown_data() {
    QTest::addColumn<QString>("failAt");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("calls");
    const QString open = QStringLiteral("open"), empty = QStringLiteral("empty"),
                  close = QStringLiteral("close"), bitmap = QStringLiteral("setBitmap 800x600");
    QTest::newRow("clipboard busy")
        << open << QString() << QStringLiteral("Zwischenablage kann nicht geöffnet werden.")
        << QStringList{open};
    QTest::newRow("bitmap unreadable")
        << QStringLiteral("setBitmap") << QStringLiteral("Bitmap ist ungültig")
        << QStringLiteral("Bitmap ist ungültig.") << QStringList{open, empty, bitmap, close};
    QTest::newRow("resources exhausted")
        << empty << QStringLiteral("Systemressourcen erschöpft.")
        << QStringLiteral("Systemressourcen erschöpft.") << QStringList{open, empty, close};
}

void MainFormTest::copyFailuresAreShown() {
    QFETCH(QString, failAt);
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QFETCH(QStringList, calls);
    openFile(example("dialog.xml"));
    const QString status = form_->statusText();
    const QImage map = form_->surface().raster().copy();
    clipboard_->failAt = failAt;
    clipboard_->failure = message;

    const auto box = dismissNextBox();
    form_->mniEdit_Copy->trigger();
    QVERIFY(box->shown);
    QCOMPARE(box->text, shown);
    QCOMPARE(box->title, Title);
    QCOMPARE(box->icon, QMessageBox::Critical);
    QCOMPARE(box->buttons, 1);
    QVERIFY(box->okButton);
    QVERIFY(box->modal);
    QCOMPARE(clipboard_->calls, calls);
    QCOMPARE(form_->statusText(), status);
    QCOMPARE(form_->surface().raster(), map);
    QCOMPARE(beeps_, 0);

    // The loop carries on: the window still answers its commands.
    clipboard_->failAt.clear();
    clipboard_->calls.clear();
    form_->mniEdit_Copy->trigger();
    QCOMPARE(clipboard_->calls.last(), QStringLiteral("close"));
}

void MainFormTest::failureInEventHandlingIsShown() {
    FailingObject object;
    const auto box = dismissNextBox();
    QCoreApplication::postEvent(&object, new QEvent(FailingObject::Fail));
    QTRY_VERIFY(box->shown);
    QCOMPARE(box->text, QStringLiteral("Ereignis ist fehlgeschlagen."));
    QCOMPARE(box->title, Title);
    QCOMPARE(box->icon, QMessageBox::Critical);

    // The next event is handled as usual.
    const auto second = dismissNextBox();
    QCoreApplication::postEvent(&object, new QEvent(FailingObject::Fail));
    QTRY_VERIFY(second->shown);
    QCOMPARE(object.handled, 2);
}

void MainFormTest::exitEndsWithStatusZero_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("File > Exit") << QStringLiteral("menu");
    QTest::newRow("Alt+F then X") << QStringLiteral("keys");
    QTest::newRow("close button") << QStringLiteral("close");
    QTest::newRow("after a failed Open") << QStringLiteral("failed");
}

void MainFormTest::exitEndsWithStatusZero() {
    QFETCH(QString, how);
    if (how == QLatin1String("failed")) {
        ScratchDir dir;
        openFile(dir.path(QStringLiteral("none.xml")));
        QCOMPARE(beeps_, 1);
    }
    QTimer::singleShot(0, form_.get(), [this, how] {
        if (how == QLatin1String("keys")) {
            QTest::keyClick(form_.get(), Qt::Key_F, Qt::AltModifier);
            QTest::keyClick(form_->mnuFile, Qt::Key_X);
        } else if (how == QLatin1String("close")) {
            form_->close();
        } else {
            form_->mniFile_Exit->trigger();
        }
    });
    // Should the window stay open, the loop ends with another status instead of hanging.
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!form_->isVisible());
}

int main(int argc, char* argv[]) {
    ViewerApplication app(argc, argv);
    MainFormTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_MainForm.moc"
