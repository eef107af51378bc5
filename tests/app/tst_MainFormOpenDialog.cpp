// The viewer's Open dialog: its settings, wildcards that filter its list, where it stands, the
// file it starts from, the default suffix, and names beyond any code page or 260 characters.
#include "MainFormTestSupport.h"

using namespace lyremap;
using namespace lyremap::test;
using namespace Qt::StringLiterals;

class MainFormOpenDialogTest : public MainFormFixture {
    Q_OBJECT
private slots:
    void dialogSettings();
    void wildcardsFilterTheList_data();
    void wildcardsFilterTheList();
    void dialogPlace_data();
    void dialogPlace();
    void dialogStandsInTheSamePlace();
    void dialogStartsFromTheLastFile();
    void typedNameGetsTheDefaultSuffix();
    void namesArriveUnchanged_data();
    void namesArriveUnchanged();
};

void MainFormOpenDialogTest::dialogSettings() {
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

// A name with a wildcard filters the list and keeps the dialog open (listing LISTED in FOLDER);
// the next Open starts with "*.xml" again and takes a file named there.
void MainFormOpenDialogTest::wildcardsFilterTheList_data() {
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

void MainFormOpenDialogTest::wildcardsFilterTheList() {
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
void MainFormOpenDialogTest::dialogPlace_data() {
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

void MainFormOpenDialogTest::dialogPlace() {
    QFETCH(QRect, monitor);
    QFETCH(QSize, frame);
    QFETCH(QPoint, place);
    QCOMPARE(OpenDialog::placeOn(monitor, frame), place);
}

// Placed by its frame on the main window's monitor on every Open, also after the user has moved
// and resized it.
void MainFormOpenDialogTest::dialogStandsInTheSamePlace() {
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

void MainFormOpenDialogTest::dialogStartsFromTheLastFile() {
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

void MainFormOpenDialogTest::typedNameGetsTheDefaultSuffix() {
    ScratchDir dir;
    const QString path = dir.write(QStringLiteral("plain.xml"), "<widget_description/>");
    form_->dlgOpen->setDirectory(dir.path(QString()));
    open(DialogAnswer::type(QStringLiteral("plain")));
    QCOMPARE(form_->statusText(), QFileInfo(path).absoluteFilePath() + QStringLiteral(" loaded."));
}

void MainFormOpenDialogTest::namesArriveUnchanged_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::newRow("beyond any code page") << QString() << QStringLiteral("карта 地図 ☃.xml");
    QTest::newRow("path beyond 260 characters")
        << QString(QStringLiteral("ordner-mit-langem-namen-").repeated(4) + u'/').repeated(3)
        << QStringLiteral("layout.xml");
}

void MainFormOpenDialogTest::namesArriveUnchanged() {
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

int main(int argc, char* argv[]) {
    return runMainFormTest<MainFormOpenDialogTest>(argc, argv);
}

#include "tst_MainFormOpenDialog.moc"
