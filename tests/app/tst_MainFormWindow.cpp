// The viewer's main window: its components, sizes, titles and menu items, the sizes it takes
// from the screen's density, and the toolkit's command-line options and another program's file
// dialog state left alone.
#include "MainFormTestSupport.h"

using namespace lyremap;
using namespace lyremap::test;
using namespace Qt::StringLiterals;

class MainFormWindowTest : public MainFormFixture {
    Q_OBJECT
private slots:
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
};

void MainFormWindowTest::commandLineIsIgnored() {
    QCOMPARE(QCoreApplication::arguments().size(), 1);
    QCOMPARE(form_->layoutDirection(), Qt::LeftToRight);
    QVERIFY(QApplication::style()->name().compare(u"windows"_s, Qt::CaseInsensitive) != 0);
    QCOMPARE(form_->windowHandle()->title(), Title);
    QCOMPARE(form_->pos(), QPoint(386, 106));
    QCOMPARE(form_->width(), 820);
}

void MainFormWindowTest::settingsAreNeitherReadNorWritten() {
    DialogSeen seen;
    open(DialogAnswer::cancel(), &seen);
    QCOMPARE(seen.nameField, u"*.xml"_s);
    QCOMPARE(QFileInfo(seen.folder), QFileInfo(QDir::currentPath()));
    QCOMPARE(form_->dlgOpen->history(), QStringList{QDir::currentPath()});
    form_.reset(); // the dialog writes its state, if anywhere, when it is destroyed
    QCOMPARE(homeContents(), plantedHome);
}

void MainFormWindowTest::components_data() {
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

void MainFormWindowTest::components() {
    QFETCH(QString, name);
    QFETCH(QString, className);
    QCOMPARE(form_->objectName(), QStringLiteral("fmMain"));
    const QObject* const component = form_->findChild<QObject*>(name);
    QVERIFY2(component, qPrintable(name));
    QCOMPARE(QString::fromLatin1(component->metaObject()->className()), className);
}

void MainFormWindowTest::titles() {
    QCOMPARE(form_->windowTitle(), Title);
    QCOMPARE(QApplication::applicationDisplayName(), Title);
    // The title bar offers the system menu, minimising and closing, and no maximising.
    QCOMPARE(form_->windowFlags(), Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                       Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                       Qt::WindowCloseButtonHint);
}

void MainFormWindowTest::geometry() {
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

void MainFormWindowTest::menuItems_data() {
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

void MainFormWindowTest::menuItems() {
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

void MainFormWindowTest::blankBeforeFirstOpen() {
    QVERIFY(!form_->surface().hasRaster());
    QVERIFY(form_->statusText().isEmpty());
    QVERIFY(statusField(*form_)->text().isEmpty());
    QImage white(800, 600, QImage::Format_RGB32);
    white.fill(Qt::white);
    const QImage shown =
        form_->scbMain->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown, white);
}

void MainFormWindowTest::metrics_data() {
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

void MainFormWindowTest::metrics() {
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

void MainFormWindowTest::denserScreenGrowsTheWindow() {
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

int main(int argc, char* argv[]) {
    return runMainFormTest<MainFormWindowTest>(argc, argv);
}

#include "tst_MainFormWindow.moc"
