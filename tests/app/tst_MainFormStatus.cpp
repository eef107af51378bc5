// The texts the viewer shows: the failure display's full stop, the status line made single-line,
// fitted into the bar and wrapped for its tooltip, and what the status bar shows after an Open.
#include "MainFormTestSupport.h"

using namespace lyremap;
using namespace lyremap::test;
using namespace Qt::StringLiterals;

class MainFormStatusTest : public MainFormFixture {
    Q_OBJECT
private slots:
    void fullStop_data();
    void fullStop();
    void singleLine_data();
    void singleLine();
    void fittedStatusLine_data();
    void fittedStatusLine();
    void wrappedLines_data();
    void wrappedLines();
    void lineBreaksInTheStatus();
    void longStatusKeepsNameAndReason();
    void markupInAFileNameShowsLiterally();
};

void MainFormStatusTest::fullStop_data() {
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

void MainFormStatusTest::fullStop() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(failureDisplayText(message), shown);
}

void MainFormStatusTest::singleLine_data() {
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

void MainFormStatusTest::singleLine() {
    QFETCH(QString, text);
    QFETCH(QString, line);
    QCOMPARE(lyremap::singleLine(text), line);
}

// LINE fitted into the width of WIDTH_OF: what stays at its start and its end.
void MainFormStatusTest::fittedStatusLine_data() {
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

void MainFormStatusTest::fittedStatusLine() {
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
void MainFormStatusTest::wrappedLines_data() {
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

void MainFormStatusTest::wrappedLines() {
    QFETCH(QString, text);
    QFETCH(int, columns);
    QFETCH(QStringList, lines);
    const QFontMetrics metrics(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const int width = metrics.horizontalAdvance(QString(columns, u'x'));
    QCOMPARE(lyremap::wrappedLines(text, metrics, width), lines);
}

void MainFormStatusTest::lineBreaksInTheStatus() {
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
void MainFormStatusTest::longStatusKeepsNameAndReason() {
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

void MainFormStatusTest::markupInAFileNameShowsLiterally() {
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

int main(int argc, char* argv[]) {
    return runMainFormTest<MainFormStatusTest>(argc, argv);
}

#include "tst_MainFormStatus.moc"
