// The document access layer's failures: the stored texts, the text of a parse failure and
// the source line read back from the file for it.
#include "TestSupport.h"
#include "XmlTestSupport.h"

#include "layout/xml/DocumentErrors.h"
#include "layout/xml/SourceLine.h"
#include "layout/xml/XmlDocument.h"

#include <QTest>
#include <cstring>
#include <limits>
#include <string>
#include <unistd.h>

using namespace Qt::StringLiterals;

using lyremap::EDOMParseError;
using lyremap::EListError;
using lyremap::EOleException;
using lyremap::Node;
using lyremap::NodeList;
using lyremap::XmlDocument;
using lyremap::test::ScratchDir;

using namespace lyremap::test;

class DocumentErrorsTest : public QObject {
    Q_OBJECT

private slots:
    void trimParserDescription_data();
    void trimParserDescription();
    void failureCodeText_data();
    void failureCodeText();
    void oleExceptionMessage_data();
    void oleExceptionMessage();
    void parseErrorMessage_data();
    void parseErrorMessage();
    void listIndexOutOfRange_data();
    void listIndexOutOfRange();
    void readSourceLine_data();
    void readSourceLine();
    void readSourceLineOfMissingFile();
};

// --- Stored texts -----------------------------------------------------------------------------

void DocumentErrorsTest::trimParserDescription_data() {
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("trimmed");

    QTest::newRow("plain") << u"Fehler"_s << u"Fehler"_s;
    QTest::newRow("one full stop") << u"Fehler."_s << u"Fehler"_s;
    QTest::newRow("stops and line break") << u"Fehler...\r\n"_s << u"Fehler"_s;
    QTest::newRow("stops and blanks mixed") << u"Fehler. .\t. "_s << u"Fehler"_s;
    QTest::newRow("control characters") << u"Fehler\x01\x1F"_s << u"Fehler"_s;
    QTest::newRow("NUL at end") << QStringView(u"Fehler\0", 7).toString() << u"Fehler"_s;
    QTest::newRow("inner stop kept") << u"a.b"_s << u"a.b"_s;
    QTest::newRow("leading blanks kept") << u"  a"_s << u"  a"_s;
    QTest::newRow("other punctuation kept") << u"Ende!"_s << u"Ende!"_s;
    QTest::newRow("no-break space kept") << u"Ende\u00A0"_s << u"Ende\u00A0"_s;
    QTest::newRow("only stops") << u"...."_s << QString();
    QTest::newRow("only blanks") << u" \r\n\t"_s << QString();
    QTest::newRow("empty") << QString() << QString();
}

void DocumentErrorsTest::trimParserDescription() {
    QFETCH(QString, description);
    QFETCH(QString, trimmed);
    QCOMPARE(lyremap::trimParserDescription(description), trimmed);
}

void DocumentErrorsTest::failureCodeText_data() {
    QTest::addColumn<quint32>("code");
    QTest::addColumn<QString>("text");

    QTest::newRow("catastrophic failure") << 0x8000FFFFu << u"OLE-Fehler 8000FFFF"_s;
    QTest::newRow("leading zeros") << 0x00000001u << u"OLE-Fehler 00000001"_s;
    QTest::newRow("zero") << 0u << u"OLE-Fehler 00000000"_s;
    QTest::newRow("upper-case digits") << 0xABCDEF12u << u"OLE-Fehler ABCDEF12"_s;
    QTest::newRow("out of memory")
        << lyremap::kErrorOutOfMemory << u"Nicht genügend Speicher verfügbar"_s;
}

void DocumentErrorsTest::failureCodeText() {
    QFETCH(quint32, code);
    QFETCH(QString, text);
    QCOMPARE(lyremap::failureCodeText(code), text);
}

void DocumentErrorsTest::oleExceptionMessage_data() {
    QTest::addColumn<quint32>("code");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("message");

    QTest::newRow("description trimmed")
        << 0x8000FFFFu << u"Zugriff verweigert.\r\n"_s << u"Zugriff verweigert"_s;
    QTest::newRow("nothing left: code text")
        << 0x8000FFFFu << u" .\r\n"_s << u"OLE-Fehler 8000FFFF"_s;
    QTest::newRow("no description: code text")
        << 0x80070005u << QString() << u"OLE-Fehler 80070005"_s;
}

void DocumentErrorsTest::oleExceptionMessage() {
    QFETCH(quint32, code);
    QFETCH(QString, description);
    QFETCH(QString, message);

    const EOleException failure(code, description);
    QCOMPARE(failure.message(), message);
    QCOMPARE(failure.code(), code);
    QCOMPARE(QString::fromUtf8(failure.what()), message);
}

void DocumentErrorsTest::parseErrorMessage_data() {
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("srcText");
    QTest::addColumn<QString>("message");

    const QString fifty = repeated(u"0123456789"_s, 5);
    QTest::newRow("short source") << u"R"_s << 12 << u"<a>"_s << u"R\r\nLinie: 12\r\n<a>"_s;
    QTest::newRow("source cut at 40")
        << u"R"_s << 1 << fifty << u"R\r\nLinie: 1\r\n"_s + fifty.left(40);
    QTest::newRow("exactly 40") << u"R"_s << 2 << fifty.left(40)
                                << u"R\r\nLinie: 2\r\n"_s + fifty.left(40);
    QTest::newRow("empty source ends in CR LF")
        << u"R"_s << 3 << QString() << u"R\r\nLinie: 3\r\n"_s;
    QTest::newRow("line 0") << u"Weg"_s << 0 << QString() << u"Weg\r\nLinie: 0\r\n"_s;
    QTest::newRow("reason's own line break kept")
        << u"R\n"_s << 4 << u"x"_s << u"R\n\r\nLinie: 4\r\nx"_s;
    QTest::newRow("large line number")
        << u"R"_s << 1234567 << u"x"_s << u"R\r\nLinie: 1234567\r\nx"_s;
}

void DocumentErrorsTest::parseErrorMessage() {
    QFETCH(QString, reason);
    QFETCH(int, line);
    QFETCH(QString, srcText);
    QFETCH(QString, message);

    const lyremap::ParseReport report{reason, line, srcText};
    QCOMPARE(lyremap::parseErrorMessage(report), message);
    const EDOMParseError failure(report);
    QCOMPARE(failure.message(), message);
    QCOMPARE(failure.report().reason, reason);
    QCOMPARE(failure.report().line, line);
    QCOMPARE(failure.report().srcText, srcText);
}

void DocumentErrorsTest::listIndexOutOfRange_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("message");

    // The root below has five children, 0 to 4.
    QTest::newRow("count") << 5 << u"Listenindex überschreitet das Maximum (5)"_s;
    QTest::newRow("far beyond") << 1000 << u"Listenindex überschreitet das Maximum (1000)"_s;
    QTest::newRow("negative") << -1 << u"Listenindex überschreitet das Maximum (-1)"_s;
    QTest::newRow("most negative") << std::numeric_limits<int>::min()
                                   << u"Listenindex überschreitet das Maximum (-2147483648)"_s;
}

void DocumentErrorsTest::listIndexOutOfRange() {
    QFETCH(int, index);
    QFETCH(QString, message);

    const ScratchDir dir;
    XmlDocument doc;
    doc.LoadFromFile(dir.write(u"five.xml"_s, "<r><a/><a/><a/><a/><a/></r>"));
    const Node root = doc.FindTopLevelNode(u"r"_s);
    const NodeList& children = root.ChildNodes();
    QCOMPARE(children.Count(), 5);

    std::string what;
    const auto failure = failureOf<EListError>([&] {
        try {
            children.Item(index);
        } catch (const std::exception& e) {
            what = e.what();
            throw;
        }
    });
    QCOMPARE(failure, message);
    QCOMPARE(QString::fromStdString(what), message);
    // The list is unchanged by the refused request.
    QCOMPARE(children.Count(), 5);
}

void DocumentErrorsTest::readSourceLine_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<long long>("line");
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<int>("maxUnits");
    QTest::addColumn<QString>("text");

    QTest::newRow("CR LF dropped")
        << QByteArray("a\r\nbc\r\nd") << 2LL << QByteArray() << 40 << u"bc"_s;
    QTest::newRow("last line without line end")
        << QByteArray("a\nbc") << 2LL << QByteArray() << 40 << u"bc"_s;
    QTest::newRow("empty line") << QByteArray("a\n\nb") << 2LL << QByteArray() << 40 << QString();
    QTest::newRow("beyond the end")
        << QByteArray("a\nb\n") << 5LL << QByteArray() << 40 << QString();
    QTest::newRow("line 0") << QByteArray("a\n") << 0LL << QByteArray() << 40 << QString();
    QTest::newRow("negative line") << QByteArray("a\n") << -3LL << QByteArray() << 40 << QString();
    QTest::newRow("BOM of line 1 dropped") << QByteArray("\xEF\xBB\xBF"
                                                         "ab\n")
                                           << 1LL << QByteArray() << 40 << u"ab"_s;
    QTest::newRow("cut at the limit")
        << QByteArray(200, 'a') << 1LL << QByteArray() << 40 << QString(40, u'a');
    QTest::newRow("smaller limit")
        << QByteArray("abcdefgh\n") << 1LL << QByteArray() << 5 << u"abcde"_s;
    QTest::newRow("two-byte characters")
        << u"ä"_s.repeated(100).toUtf8() << 1LL << QByteArray() << 40 << u"ä"_s.repeated(40);
    QTest::newRow("three-byte characters") << u"\u0939"_s.repeated(100).toUtf8() << 1LL
                                           << QByteArray() << 40 << u"\u0939"_s.repeated(40);
    QTest::newRow("four-byte characters")
        << kEmoji.repeated(100).toUtf8() << 1LL << QByteArray() << 40 << kEmoji.repeated(20);
    QTest::newRow("line across the first chunk's end")
        << QByteArray(65'530, 'x') + "\n" + QByteArray("0123456789").repeated(5) << 2LL
        << QByteArray() << 40 << u"0123456789"_s.repeated(4);
    QTest::newRow("line starting exactly at the second chunk")
        << QByteArray(65'535, 'x') + "\n" + QByteArray("second\n") << 2LL << QByteArray() << 40
        << u"second"_s;
    QTest::newRow("UTF-16 LE") << utf16(u"x\r\nÄÖÜ\r\n"_s) << 2LL << QByteArray("UTF-16LE") << 40
                               << u"ÄÖÜ"_s;
    QTest::newRow("UTF-16 LE, BOM of line 1 dropped")
        << utf16(u"ÄÖÜ\n"_s) << 1LL << QByteArray("UTF-16LE") << 40 << u"ÄÖÜ"_s;
    // BOM + 32759 units + LF puts line 2 at unit 32760; "<<" then the pairs, the third of which
    // starts at byte 65534 and so straddles the first chunk's end.
    QTest::newRow("UTF-16 pair across the chunks")
        << utf16(QString(32'759, u'x') + u"\n<<"_s + kEmoji.repeated(30) + u"\n"_s) << 2LL
        << QByteArray("UTF-16LE") << 40 << u"<<"_s + kEmoji.repeated(19);
    QTest::newRow("ISO-8859-1") << QByteArray("a\n\xE4\xF6\xFC\xDF\n") << 2LL
                                << QByteArray("ISO-8859-1") << 40 << u"äöüß"_s;
    QTest::newRow("unknown encoding")
        << QByteArray("a\n") << 1LL << QByteArray("x-no-such") << 40 << QString();
}

void DocumentErrorsTest::readSourceLine() {
    QFETCH(QByteArray, bytes);
    QFETCH(long long, line);
    QFETCH(QByteArray, encoding);
    QFETCH(int, maxUnits);
    QFETCH(QString, text);

    const ScratchDir dir;
    const QString path = dir.write(u"source.txt"_s, bytes);
    QCOMPARE(lyremap::readSourceLine(path, line, encoding.toStdString(), maxUnits), text);
}

void DocumentErrorsTest::readSourceLineOfMissingFile() {
    const ScratchDir dir;
    QCOMPARE(lyremap::readSourceLine(dir.path(u"gone.txt"_s), 1, std::string(), 40), QString());
}

QTEST_GUILESS_MAIN(DocumentErrorsTest)
#include "tst_DocumentErrors.moc"
