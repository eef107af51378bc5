// The viewer's other commands: the keys that reach them, Copy with the clipboard's failures, the
// default display of a failure in event handling, and Exit.
#include "MainFormTestSupport.h"

using namespace lyremap;
using namespace lyremap::test;
using namespace Qt::StringLiterals;

class MainFormCommandsTest : public MainFormFixture {
    Q_OBJECT
private slots:
    void keysReachCommands_data();
    void keysReachCommands();
    void copyBeforeOpen();
    void copyAfterOpenOnTheSystemClipboard();
    void copyFailuresAreShown_data();
    void copyFailuresAreShown();
    void failureInEventHandlingIsShown();
    void exitEndsWithStatusZero_data();
    void exitEndsWithStatusZero();
};

void MainFormCommandsTest::keysReachCommands_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<bool>("opens");
    QTest::newRow("Ctrl+O") << QStringLiteral("Ctrl+O") << true;
    QTest::newRow("Alt+F then O") << QStringLiteral("Alt+F,O") << true;
    QTest::newRow("Ctrl+C") << QStringLiteral("Ctrl+C") << false;
}

void MainFormCommandsTest::keysReachCommands() {
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

void MainFormCommandsTest::copyBeforeOpen() {
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

void MainFormCommandsTest::copyAfterOpenOnTheSystemClipboard() {
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

void MainFormCommandsTest::copyFailuresAreShown_data() {
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

void MainFormCommandsTest::copyFailuresAreShown() {
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

void MainFormCommandsTest::failureInEventHandlingIsShown() {
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

void MainFormCommandsTest::exitEndsWithStatusZero_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("File > Exit") << QStringLiteral("menu");
    QTest::newRow("Alt+F then X") << QStringLiteral("keys");
    QTest::newRow("close button") << QStringLiteral("close");
    QTest::newRow("after a failed Open") << QStringLiteral("failed");
}

void MainFormCommandsTest::exitEndsWithStatusZero() {
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
    return runMainFormTest<MainFormCommandsTest>(argc, argv);
}

#include "tst_MainFormCommands.moc"
