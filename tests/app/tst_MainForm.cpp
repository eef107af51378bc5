// The viewer's main window: its components, sizes and texts, the keys that reach its commands,
// the Open flow through the dialog, Copy with the clipboard's failures, the default failure
// display and Exit. Runs under the viewer's own application object, made with the toolkit's own
// command-line options, which it must ignore, and in a home folder of its own, which holds
// another Qt program's file dialog state and must be neither read nor changed.
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

using namespace lyremap;
using namespace lyremap::test;
using namespace Qt::StringLiterals;

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

// The lines a tooltip shows, as plain text.
QStringList toolTipLines(const QString& toolTip) {
    QTextDocument shown;
    if (Qt::mightBeRichText(toolTip))
        shown.setHtml(toolTip);
    else
        shown.setPlainText(toolTip);
    return shown.toPlainText().split(u'\n');
}

// The private home the tests run in, and another Qt program's file dialog state planted there:
// its last folder ("elsewhere", holding a layout) and its history.
QString home;
QStringList plantedHome;

// Every file and folder below the home, each file with its contents.
QStringList homeContents() {
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

} // namespace

class MainFormTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void cleanupTestCase();

    // First, so that the window it shows is the first the application ever shows.
    void commandLineIsIgnored();
    void settingsAreNeitherReadNorWritten();
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
    void fittedStatusLine_data();
    void fittedStatusLine();
    void wrappedLines_data();
    void wrappedLines();

    void keysReachCommands_data();
    void keysReachCommands();
    void dialogSettings();
    void openLoads();
    void openFailureBeepsAndClears();
    void cancelChangesNothing();
    void secondOpenClearsTheFirst();
    void failureMidWalkKeepsWhatWasDrawn();
    void wildcardsFilterTheList_data();
    void wildcardsFilterTheList();
    void dialogPlace_data();
    void dialogPlace();
    void dialogStandsInTheSamePlace();
    void dialogStartsFromTheLastFile();
    void typedNameGetsTheDefaultSuffix();
    void namesArriveUnchanged_data();
    void namesArriveUnchanged();
    void lineBreaksInTheStatus();
    void longStatusKeepsNameAndReason();
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

void MainFormTest::cleanupTestCase() {
    // Every window and dialog is gone: whatever they would keep has been written by now.
    QCOMPARE(homeContents(), plantedHome);
}

void MainFormTest::commandLineIsIgnored() {
    QCOMPARE(QCoreApplication::arguments().size(), 1);
    QCOMPARE(form_->layoutDirection(), Qt::LeftToRight);
    QVERIFY(QApplication::style()->name().compare(u"windows"_s, Qt::CaseInsensitive) != 0);
    QCOMPARE(form_->windowHandle()->title(), Title);
    QCOMPARE(form_->pos(), QPoint(386, 106));
    QCOMPARE(form_->width(), 820);
}

void MainFormTest::settingsAreNeitherReadNorWritten() {
    DialogSeen seen;
    open(DialogAnswer::cancel(), &seen);
    QCOMPARE(seen.nameField, u"*.xml"_s);
    QCOMPARE(QFileInfo(seen.folder), QFileInfo(QDir::currentPath()));
    QCOMPARE(form_->dlgOpen->history(), QStringList{QDir::currentPath()});
    form_.reset(); // the dialog writes its state, if anywhere, when it is destroyed
    QCOMPARE(homeContents(), plantedHome);
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
    row("dlgOpen", "lyremap::OpenDialog");
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
    // The title bar offers the system menu, minimising and closing, and no maximising.
    QCOMPARE(form_->windowFlags(), Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                       Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                       Qt::WindowCloseButtonHint);
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
    // The status text shows in the system's status-bar font.
    const QFont system = QApplication::font("QStatusBar");
    QCOMPARE(statusField(*form_)->font().family(), system.family());
    QCOMPARE(statusField(*form_)->font().pointSizeF(), system.pointSizeF());
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
    QTest::addColumn<int>("textHeight");
    QTest::addColumn<QSize>("client");
    QTest::addColumn<int>("status");
    QTest::addColumn<QRect>("image");
    const auto row = [](const char* name, double dpi, int font, int text, QSize client, int status,
                        QSize image) {
        QTest::newRow(name) << dpi << font << text << client << status << QRect({0, 0}, image);
    };
    row("96: as designed", 96, 11, 13, {820, 639}, 19, {800, 600});
    row("97: text still 13", 97, 11, 13, {820, 639}, 19, {800, 600});
    row("120: text 16", 120, 14, 16, {1009, 786}, 23, {985, 738});
    row("144: text 20", 144, 17, 20, {1262, 983}, 29, {1231, 923});
    row("192: text 26", 192, 22, 26, {1640, 1278}, 38, {1600, 1200});
    row("72: text 10", 72, 8, 10, {631, 492}, 15, {615, 462});
    row("unknown: as designed", 0, 11, 13, {820, 639}, 19, {800, 600});
}

void MainFormTest::metrics() {
    QFETCH(double, dpi);
    QFETCH(int, font);
    QFETCH(int, textHeight);
    QFETCH(QSize, client);
    QFETCH(int, status);
    QFETCH(QRect, image);
    const WindowMetrics m = windowMetrics(dpi);
    QCOMPARE(m.fontPixels, font);
    QCOMPARE(m.textHeight, textHeight);
    QCOMPARE(m.client, client);
    QCOMPARE(m.statusHeight, status);
    QCOMPARE(m.image, image);
    QCOMPARE(m.panelBorder, 8);
    QCOMPARE(m.scrollEdge, 2);
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
    // The scroll box fills the panel; the image, scaled on its own, stays inside it.
    QCOMPARE(form_->scbMain->viewport()->size(), QSize(989, 743));
    QCOMPARE(form_->imgMap->geometry(), QRect(0, 0, 985, 738));
    QVERIFY(!form_->scbMain->horizontalScrollBar()->isVisible());
    QVERIFY(!form_->scbMain->verticalScrollBar()->isVisible());
    // The raster is made at the image's size, and a reset map borders it.
    open(DialogAnswer::type(example("dialog.xml")));
    QCOMPARE(form_->surface().raster().size(), QSize(985, 738));
    QCOMPARE(form_->surface().raster().pixel(984, 737), qRgb(0, 0, 0));
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

// LINE fitted into the width of WIDTH_OF: what stays at its start and its end.
void MainFormTest::fittedStatusLine_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("widthOf");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    const QString failed = u"/home/anna/"_s + u"ebene/"_s.repeated(20) +
                           u"dialog.xml failed: Die Datei existiert nicht"_s;
    QTest::newRow("fits") << failed << failed << failed << failed;
    QTest::newRow("the folder gives way")
        << failed << u"/home/…/dialog.xml failed: Die Datei existiert nicht"_s << u"/h"_s
        << u"/dialog.xml failed: Die Datei existiert nicht"_s;
    QTest::newRow("no room for the folder")
        << failed << u"…dialog.xml fa…existiert nicht"_s << u"…dia"_s << u"nicht"_s;
    QTest::newRow("no folder") << u"dialog.xml failed: nicht da"_s << u"dialog.x…t da"_s << u"dia"_s
                               << u"da"_s;
}

void MainFormTest::fittedStatusLine() {
    QFETCH(QString, line);
    QFETCH(QString, widthOf);
    QFETCH(QString, start);
    QFETCH(QString, end);
    const QFontMetrics metrics(QApplication::font("QStatusBar"));
    const int width = metrics.horizontalAdvance(widthOf);
    const QString fitted =
        lyremap::fittedStatusLine(line, line.lastIndexOf(u'/') + 1, metrics, width);
    QVERIFY2(metrics.horizontalAdvance(fitted) <= width, qPrintable(fitted));
    QVERIFY2(fitted.startsWith(start) && fitted.endsWith(end), qPrintable(fitted));
    QCOMPARE(fitted.contains(u'…'), fitted != line);
}

// In a monospaced font, so that the breaks fall at known characters.
void MainFormTest::wrappedLines_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("after a slash or a space")
        << u"/home/anna/karte.xml failed: Datei fehlt"_s << 12
        << QStringList{u"/home/anna/"_s, u"karte.xml "_s, u"failed: "_s, u"Datei fehlt"_s};
    QTest::newRow("anywhere in a long name")
        << u"/abcdefghijklmnopqrstuvwxyz.xml"_s << 10
        << QStringList{u"/"_s, u"abcdefghij"_s, u"klmnopqrst"_s, u"uvwxyz.xml"_s};
    QTest::newRow("own line breaks kept") << u"x: a\r\nLinie: 6\r\n  <frame"_s << 40
                                          << QStringList{u"x: a"_s, u"Linie: 6"_s, u"  <frame"_s};
    QTest::newRow("a character is not split")
        << u"\U0001D11E\U0001D11E"_s << 1 << QStringList{u"\U0001D11E"_s, u"\U0001D11E"_s};
}

void MainFormTest::wrappedLines() {
    QFETCH(QString, text);
    QFETCH(int, columns);
    QFETCH(QStringList, lines);
    const QFontMetrics metrics(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const int width = metrics.horizontalAdvance(QString(columns, u'x'));
    QCOMPARE(lyremap::wrappedLines(text, metrics, width), lines);
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
    // The status says which file was opened when the beep is missing.
    QVERIFY2(beeps_ == 1, qPrintable(form_->statusText()));
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

// A name with a wildcard filters the list and keeps the dialog open (listing LISTED in FOLDER);
// the next Open starts with "*.xml" again and takes a file named there.
void MainFormTest::wildcardsFilterTheList_data() {
    QTest::addColumn<QString>("typed"); // empty: the name field as it comes up
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("listed");
    const QStringList xml{u"[1]a.xml"_s, u"dialog.xml"_s, u"dock.xml"_s, u"x.xml"_s};
    QTest::newRow("the untouched *.xml") << QString() << QString() << xml;
    QTest::newRow("d*.xml") << u"d*.xml"_s << QString()
                            << QStringList{u"dialog.xml"_s, u"dock.xml"_s};
    QTest::newRow("?.xml") << u"?.xml"_s << QString() << QStringList{u"x.xml"_s};
    QTest::newRow("* takes no extension")
        << u"*"_s << QString()
        << QStringList(xml).replaceInStrings(u"x.xml"_s, u"notes.txt"_s) + QStringList{u"x.xml"_s};
    QTest::newRow("a bracket is no set") << u"[1]*"_s << QString() << QStringList{u"[1]a.xml"_s};
    QTest::newRow("in a subfolder") << u"sub/*.xml"_s << u"sub"_s << QStringList{u"inner.xml"_s};
    QTest::newRow("in no folder") << u"none/*.xml"_s << QString() << xml;
}

void MainFormTest::wildcardsFilterTheList() {
    QFETCH(QString, typed);
    QFETCH(QString, folder);
    QFETCH(QStringList, listed);
    ScratchDir dir;
    QVERIFY(QDir().mkpath(dir.path(u"sub"_s)));
    for (const QString& name : {u"dialog.xml"_s, u"dock.xml"_s, u"x.xml"_s, u"[1]a.xml"_s,
                                u"notes.txt"_s, u"sub/inner.xml"_s})
        dir.write(name, "<widget_description/>");
    OpenDialog* const dialog = form_->dlgOpen;
    dialog->setDirectory(dir.path(QString()));
    const QFileInfo expectedFolder(dir.path(folder));

    // Accept the pattern, then look once the list shows what it should (or time is up).
    bool stillOpen = false;
    QString shownName, pattern = typed.isEmpty() ? u"*.xml"_s : typed;
    const auto shows = [&] {
        return listedFiles(*form_) == listed &&
               QFileInfo(dialog->directory().absolutePath()) == expectedFolder;
    };
    whenReady([&] { return dialogReady(*dialog); },
              [&] {
                  fileNameEdit(*form_)->setText(pattern);
                  QTest::keyClick(fileNameEdit(*form_), Qt::Key_Return);
                  whenReady(shows, [&] {
                      stillOpen = dialog->isVisible();
                      shownName = fileNameEdit(*form_)->text();
                      dialog->reject();
                  });
              });
    form_->mniFile_Open->trigger();
    QVERIFY(stillOpen);
    QVERIFY(shows());
    QCOMPARE(shownName, folder.isEmpty() ? pattern : pattern.mid(folder.size() + 1));
    QCOMPARE(beeps_, 0);
    QVERIFY(!form_->surface().hasRaster());

    DialogSeen seen;
    const QString dock = dir.path(u"dock.xml"_s);
    open(DialogAnswer::type(dock), &seen);
    QCOMPARE(seen.nameField, u"*.xml"_s);
    QCOMPARE(dialog->findChild<QFileSystemModel*>()->nameFilters(), QStringList{u"*.xml"_s});
    QCOMPARE(form_->statusText(), dock + u" loaded."_s);
}

// Where the dialog's frame stands on a monitor.
void MainFormTest::dialogPlace_data() {
    QTest::addColumn<QRect>("monitor");
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<QPoint>("place");
    QTest::newRow("centred, a third down")
        << QRect(0, 0, 1280, 1024) << QSize(626, 437) << QPoint(327, 195);
    QTest::newRow("a second monitor")
        << QRect(1280, -200, 1920, 1080) << QSize(600, 400) << QPoint(1940, 26);
    QTest::newRow("larger than the monitor")
        << QRect(0, 0, 640, 480) << QSize(700, 520) << QPoint(-30, -13);
}

void MainFormTest::dialogPlace() {
    QFETCH(QRect, monitor);
    QFETCH(QSize, frame);
    QFETCH(QPoint, place);
    QCOMPARE(OpenDialog::placeOn(monitor, frame), place);
}

// Placed by its frame on the main window's monitor on every Open, also after the user has moved
// and resized it.
void MainFormTest::dialogStandsInTheSamePlace() {
    const QRect monitor = form_->screen()->geometry();
    const auto frameOnOpen = [&] {
        QRect frame;
        whenReady(
            [&] {
                const QWindow* const window = form_->dlgOpen->windowHandle();
                frame = window ? window->frameGeometry() : QRect();
                return frame.topLeft() == OpenDialog::placeOn(monitor, frame.size());
            },
            [&] { form_->dlgOpen->reject(); });
        form_->mniFile_Open->trigger();
        return frame;
    };
    const QRect first = frameOnOpen();
    QCOMPARE(first.topLeft(), OpenDialog::placeOn(monitor, first.size()));
    QCOMPARE(frameOnOpen(), first);
    form_->dlgOpen->resize(form_->dlgOpen->size() + QSize(100, 60));
    form_->dlgOpen->move(5, 5);
    const QRect third = frameOnOpen();
    QCOMPARE(third.size(), first.size() + QSize(100, 60));
    QCOMPARE(third.topLeft(), OpenDialog::placeOn(monitor, third.size()));
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
    QVERIFY(statusField(*form_)->text().endsWith(u'/' + name + QStringLiteral(" loaded.")));
}

void MainFormTest::lineBreaksInTheStatus() {
    const QString path = sourceDir() + QStringLiteral("/tests/render/data/broken.xml");
    openFile(path);
    const QString status = form_->statusText();
    QVERIFY2(status.contains(QStringLiteral("\r\nLinie: 6\r\n")), qPrintable(status));
    const QLabel* const field = statusField(*form_);
    QVERIFY(!field->text().contains(u'\r'));
    QVERIFY(!field->text().contains(u'\n'));
    QVERIFY2(
        field->text().endsWith(QStringLiteral(" and frme Linie: 6     <frame x=\"10\" y=\"10\" "
                                              "width=\"100\" hei")),
        qPrintable(field->text()));
    // The tooltip keeps the line breaks: each line of the text starts a line there.
    const QStringList lines = toolTipLines(field->toolTip());
    QVERIFY(lines.contains(QStringLiteral("Linie: 6")));
    QCOMPARE(lines.last(), QStringLiteral("    <frame x=\"10\" y=\"10\" width=\"100\" hei"));
    QCOMPARE(lines.join(QString()), QString(status).remove(u'\r').remove(u'\n'));
}

// A status text too long for the bar: the folder gives way, the file's name and the reason stay;
// the tooltip holds it all in lines as wide as the bar.
void MainFormTest::longStatusKeepsNameAndReason() {
    ScratchDir dir;
    const QString missing = QDir::cleanPath(dir.path(u"ein-ordner/"_s.repeated(12) + "fehlt.xml"));
    openFile(missing);
    const QString status = form_->statusText();
    QCOMPARE(status, missing + u" failed: Die Datei existiert nicht\r\nLinie: 0\r\n"_s);
    const QLabel* const field = statusField(*form_);
    const QString shown = field->text();
    const int width = field->contentsRect().width();
    QVERIFY(field->fontMetrics().horizontalAdvance(status) > width);
    QVERIFY2(field->fontMetrics().horizontalAdvance(shown) <= width, qPrintable(shown));
    QVERIFY2(shown.startsWith(missing.left(4)) && shown.contains(u'…') &&
                 shown.endsWith(u"/fehlt.xml failed: Die Datei existiert nicht Linie: 0 "_s),
             qPrintable(shown));
    const QStringList lines = toolTipLines(field->toolTip());
    QCOMPARE(lines.last(), u"Linie: 0"_s); // the message's own last line, no empty one after it
    QCOMPARE(lines.join(QString()), QString(status).remove(u'\r').remove(u'\n'));
    for (const QString& line : lines)
        QVERIFY2(QFontMetrics(QToolTip::font()).horizontalAdvance(line) <= width, qPrintable(line));
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
    MainFormTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_MainForm.moc"
