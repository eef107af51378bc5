// The document access layer: loading and closing, the stored failure texts, the text of a parse
// failure (reason, line, start of the source line in every encoding the parser reads), the node
// tree as callers see it (names, child lists, handles) and attribute values.
#include "TestSupport.h"

#include "layout/xml/DocumentErrors.h"
#include "layout/xml/SourceLine.h"
#include "layout/xml/XmlDocument.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <QTest>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

using lyremap::EDOMParseError;
using lyremap::EListError;
using lyremap::EOleException;
using lyremap::Exception;
using lyremap::EXMLDocError;
using lyremap::Node;
using lyremap::NodeList;
using lyremap::NodeType;
using lyremap::XmlDocument;
using lyremap::test::ScratchDir;

Q_DECLARE_METATYPE(lyremap::NodeType)

namespace {

const QString kCrLf = u"\r\n"_s;

// The message of the failure of kind E that ACTION raises; nullopt when it raises none. A
// failure of another kind propagates and fails the test.
template <typename E> std::optional<QString> failureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const E& failure) {
        return failure.message();
    }
    return std::nullopt;
}

QString parseMessage(const QString& reason, int line, const QString& srcText) {
    return reason + kCrLf + u"Linie: "_s + QString::number(line) + kCrLf + srcText;
}

// UTF-16 with a byte-order mark, in the given byte order.
QByteArray utf16(const QString& text, bool bigEndian = false) {
    QByteArray bytes;
    const auto put = [&](char16_t unit) {
        const char high = char(unit >> 8);
        const char low = char(unit & 0xFF);
        bytes.append(bigEndian ? high : low);
        bytes.append(bigEndian ? low : high);
    };
    put(0xFEFF);
    for (const QChar c : text)
        put(c.unicode());
    return bytes;
}

QString repeated(const QString& piece, int count) {
    return piece.repeated(count);
}

const QString kEmoji = u"\U0001F600"_s; // outside the BMP: two UTF-16 code units
const QString kLongRun = repeated(u"abcdefghij"_s, 10'000);

// The node reached from FROM by a path of child indexes such as "3/5/0"; the empty path is FROM.
Node nodeAt(const Node& from, const QString& path) {
    Node node = from;
    for (const QString& step : path.split(u'/', Qt::SkipEmptyParts))
        node = node.ChildNodes().Item(step.toInt());
    return node;
}

QStringList childNames(const Node& node) {
    QStringList names;
    const NodeList& children = node.ChildNodes();
    for (int i = 0; i < children.Count(); ++i)
        names << children.Item(i).NodeName();
    return names;
}

// A document that has a node of every kind the loader keeps:
// document
//   0 pi "before"  1 #comment  2 DOCTYPE r  3 element r (children below)  4 #comment
// r: 0 p:w  1 #text  2 #cdata-section  3 #comment  4 pi "target"  5 &e; (b, #text)  6 x
const QByteArray kEveryKind = R"(<?before data?>
<!--top-->
<!DOCTYPE r [
  <!ENTITY e "<b/>text">
]>
<r xmlns:p="urn:p"><p:w/>text<![CDATA[ <cd> ]]><!--c--><?target x?>&e;
  <x>   </x>
</r>
<!--after-->
)";

// A document whose root carries the attributes of the attribute tests:
// document: 0 DOCTYPE r, 1 r; r: 0 #text, 1 #comment, 2 pi, 3 w.
const QByteArray kAttributes =
    "<!DOCTYPE r [\n"
    "  <!ENTITY e \"Wert\">\n"
    "  <!ENTITY m \"B\">\n"
    "  <!ENTITY n \"A-&m;-C\">\n"
    "  <!ATTLIST r d CDATA \"dflt\" x CDATA \"unused\" p:dx CDATA \"pd\">\n"
    "  <!ATTLIST w wd CDATA #FIXED \"fixed\" rq CDATA #REQUIRED\n"
    "              im CDATA #IMPLIED>\n"
    "]>\n"
    "<r xmlns=\"urn:d\" xmlns:p=\"urn:p\" xmlns:q=\"urn:p\"\n"
    "   x=\"\" X=\"X\" y=\"x\" p:x=\"P\" q:y=\"Q\"\n"
    "   z=\"a&#9;b&#10;c\" t=\"a\tb\nc\" e=\"&e;\" n=\"&n;\"\n"
    "   lt=\"&lt;&#65;&amp;&quot;\" xml:lang=\"de\" größe=\"5\"\n"
    ">text<!--c--><?pi a=\"1\"?><w p:x=\"inner\"/></r>\n";

} // namespace

class XmlDocumentTest : public QObject {
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

    void startsEmpty();
    void loadWithoutFileName();
    void closeKeepsFileNameAndHandles();
    void handlesOutliveTheDocumentObject();
    void emptyPathReloadsPreviousFile();
    void failedLoadKeepsNewPath();

    void fileProblems_data();
    void fileProblems();
    void parseFailures_data();
    void parseFailures();
    void failingLoadsPrintNothing();
    void readSourceLine_data();
    void readSourceLine();
    void readSourceLineOfMissingFile();

    void externalDtdIsNotFetched();
    void externalEntityIsNotRead();

    void nodeNames_data();
    void nodeNames();
    void childLists_data();
    void childLists();
    void childListIsBuiltOnce();
    void attributeValues_data();
    void attributeValues();
    void topLevelLookup_data();
    void topLevelLookup();
};

// --- Stored texts -----------------------------------------------------------------------------

void XmlDocumentTest::trimParserDescription_data() {
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

void XmlDocumentTest::trimParserDescription() {
    QFETCH(QString, description);
    QFETCH(QString, trimmed);
    QCOMPARE(lyremap::trimParserDescription(description), trimmed);
}

void XmlDocumentTest::failureCodeText_data() {
    QTest::addColumn<quint32>("code");
    QTest::addColumn<QString>("text");

    QTest::newRow("catastrophic failure") << 0x8000FFFFu << u"OLE-Fehler 8000FFFF"_s;
    QTest::newRow("leading zeros") << 0x00000001u << u"OLE-Fehler 00000001"_s;
    QTest::newRow("zero") << 0u << u"OLE-Fehler 00000000"_s;
    QTest::newRow("upper-case digits") << 0xABCDEF12u << u"OLE-Fehler ABCDEF12"_s;
    QTest::newRow("out of memory")
        << lyremap::kErrorOutOfMemory << u"Nicht genügend Speicher verfügbar"_s;
}

void XmlDocumentTest::failureCodeText() {
    QFETCH(quint32, code);
    QFETCH(QString, text);
    QCOMPARE(lyremap::failureCodeText(code), text);
}

void XmlDocumentTest::oleExceptionMessage_data() {
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

void XmlDocumentTest::oleExceptionMessage() {
    QFETCH(quint32, code);
    QFETCH(QString, description);
    QFETCH(QString, message);

    const EOleException failure(code, description);
    QCOMPARE(failure.message(), message);
    QCOMPARE(failure.code(), code);
    QCOMPARE(QString::fromUtf8(failure.what()), message);
}

void XmlDocumentTest::parseErrorMessage_data() {
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

void XmlDocumentTest::parseErrorMessage() {
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

void XmlDocumentTest::listIndexOutOfRange_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("message");

    // The root below has five children, 0 to 4.
    QTest::newRow("count") << 5 << u"Listenindex überschreitet das Maximum (5)"_s;
    QTest::newRow("far beyond") << 1000 << u"Listenindex überschreitet das Maximum (1000)"_s;
    QTest::newRow("negative") << -1 << u"Listenindex überschreitet das Maximum (-1)"_s;
    QTest::newRow("most negative") << std::numeric_limits<int>::min()
                                   << u"Listenindex überschreitet das Maximum (-2147483648)"_s;
}

void XmlDocumentTest::listIndexOutOfRange() {
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

// --- Load, close and the file name ------------------------------------------------------------

void XmlDocumentTest::startsEmpty() {
    XmlDocument doc;
    QVERIFY(!doc.Active());
    QVERIFY(doc.FileName().isEmpty());
    doc.Close(); // nothing held: nothing happens
    QVERIFY(!doc.Active());
    QVERIFY(doc.FileName().isEmpty());

    QCOMPARE(failureOf<EXMLDocError>([&] { doc.DocumentNode(); }), u"Kein aktives Dokument"_s);
    QCOMPARE(failureOf<EXMLDocError>([&] { doc.FindTopLevelNode(u"widget_description"_s); }),
             u"Kein aktives Dokument"_s);
}

void XmlDocumentTest::loadWithoutFileName() {
    XmlDocument doc;
    QCOMPARE(failureOf<EXMLDocError>([&] { doc.LoadFromFile(QString()); }),
             u"FileName muss angegeben werden"_s);
    QVERIFY(!doc.Active());
    QVERIFY(doc.FileName().isEmpty());
    // Callers catch the general failure.
    QCOMPARE(failureOf<Exception>([&] { doc.LoadFromFile(u""_s); }),
             u"FileName muss angegeben werden"_s);
}

void XmlDocumentTest::closeKeepsFileNameAndHandles() {
    const ScratchDir dir;
    const QString path =
        dir.write(u"a.xml"_s, R"(<widget_description v="1"><widget/></widget_description>)");
    XmlDocument doc;
    doc.LoadFromFile(path);
    QVERIFY(doc.Active());
    QCOMPARE(doc.FileName(), path);

    const Node root = doc.FindTopLevelNode(u"widget_description"_s);
    const Node document = doc.DocumentNode();
    doc.Close();

    QVERIFY(!doc.Active());
    QCOMPARE(doc.FileName(), path);
    QCOMPARE(failureOf<EXMLDocError>([&] { doc.DocumentNode(); }), u"Kein aktives Dokument"_s);
    QCOMPARE(failureOf<EXMLDocError>([&] { doc.FindTopLevelNode(u"widget_description"_s); }),
             u"Kein aktives Dokument"_s);

    // Handles taken before the close still answer, children built after it included.
    QCOMPARE(root.NodeName(), u"widget_description"_s);
    QCOMPARE(root.AttributeValue(u"v"), std::optional<QString>(u"1"_s));
    QCOMPARE(childNames(root), QStringList{u"widget"_s});
    QCOMPARE(document.NodeName(), u"#document"_s);
    QVERIFY(document.ChildNodes().Item(0) == root);

    doc.Close(); // a second close changes nothing
    QVERIFY(!doc.Active());
    QCOMPARE(doc.FileName(), path);
}

void XmlDocumentTest::handlesOutliveTheDocumentObject() {
    const ScratchDir dir;
    const QString first = dir.write(u"first.xml"_s, "<r n=\"first\"><a/><b/></r>");
    const QString second = dir.write(u"second.xml"_s, "<r n=\"second\"/>");

    Node fromFirst;
    {
        XmlDocument doc;
        doc.LoadFromFile(first);
        fromFirst = doc.FindTopLevelNode(u"r"_s);

        // Loading another file leaves the earlier handles on the earlier document.
        doc.LoadFromFile(second);
        QCOMPARE(doc.FindTopLevelNode(u"r"_s).AttributeValue(u"n"),
                 std::optional<QString>(u"second"_s));
        QCOMPARE(fromFirst.AttributeValue(u"n"), std::optional<QString>(u"first"_s));
    }
    // The document object is gone; the handle keeps its document alive.
    QCOMPARE(fromFirst.AttributeValue(u"n"), std::optional<QString>(u"first"_s));
    QCOMPARE(childNames(fromFirst), (QStringList{u"a"_s, u"b"_s}));
}

void XmlDocumentTest::emptyPathReloadsPreviousFile() {
    const ScratchDir dir;
    const QString path = dir.write(u"layout.xml"_s, "<r v=\"1\"/>");
    XmlDocument doc;
    doc.LoadFromFile(path);
    const Node before = doc.FindTopLevelNode(u"r"_s);

    dir.write(u"layout.xml"_s, "<r v=\"2\"><new/></r>");
    doc.LoadFromFile(QString());
    QVERIFY(doc.Active());
    QCOMPARE(doc.FileName(), path);
    const Node after = doc.FindTopLevelNode(u"r"_s);
    QCOMPARE(after.AttributeValue(u"v"), std::optional<QString>(u"2"_s));
    QCOMPARE(childNames(after), QStringList{u"new"_s});
    QVERIFY(!(after == before));
    QCOMPARE(before.AttributeValue(u"v"), std::optional<QString>(u"1"_s));

    // Loading the same path again reads the file again too.
    dir.write(u"layout.xml"_s, "<r v=\"3\"/>");
    doc.LoadFromFile(path);
    QCOMPARE(doc.FindTopLevelNode(u"r"_s).AttributeValue(u"v"), std::optional<QString>(u"3"_s));
}

void XmlDocumentTest::failedLoadKeepsNewPath() {
    const ScratchDir dir;
    const QString good = dir.write(u"good.xml"_s, "<r/>");
    const QString missing = dir.path(u"later.xml"_s);
    XmlDocument doc;
    doc.LoadFromFile(good);

    const auto failure = failureOf<EDOMParseError>([&] { doc.LoadFromFile(missing); });
    QCOMPARE(failure, parseMessage(u"Die Datei existiert nicht"_s, 0, QString()));
    QCOMPARE(doc.FileName(), missing);
    QVERIFY(!doc.Active());
    QCOMPARE(failureOf<EXMLDocError>([&] { doc.DocumentNode(); }), u"Kein aktives Dokument"_s);

    // The empty path retries the failed one, and succeeds once the file is there.
    QVERIFY(failureOf<EDOMParseError>([&] { doc.LoadFromFile(QString()); }).has_value());
    QCOMPARE(doc.FileName(), missing);
    dir.write(u"later.xml"_s, "<r><now/></r>");
    doc.LoadFromFile(QString());
    QVERIFY(doc.Active());
    QCOMPARE(childNames(doc.FindTopLevelNode(u"r"_s)), QStringList{u"now"_s});

    // A document that is not well-formed leaves nothing loaded either.
    const QString broken = dir.write(u"broken.xml"_s, "<r>");
    QVERIFY(failureOf<EDOMParseError>([&] { doc.LoadFromFile(broken); }).has_value());
    QCOMPARE(doc.FileName(), broken);
    QVERIFY(!doc.Active());
}

// --- Failures of a load -----------------------------------------------------------------------

void XmlDocumentTest::fileProblems_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing") << u"missing"_s << u"Die Datei existiert nicht"_s;
    QTest::newRow("below a file") << u"below-file"_s << u"Die Datei existiert nicht"_s;
    QTest::newRow("dangling link") << u"dangling"_s << u"Die Datei existiert nicht"_s;
    QTest::newRow("folder") << u"folder"_s << u"Der Pfad bezeichnet einen Ordner, keine Datei"_s;
    QTest::newRow("link to folder")
        << u"folder-link"_s << u"Der Pfad bezeichnet einen Ordner, keine Datei"_s;
    QTest::newRow("named pipe") << u"fifo"_s
                                << u"Der Pfad bezeichnet eine benannte Pipe, keine Datei"_s;
    QTest::newRow("device") << u"device"_s << u"Der Pfad bezeichnet ein Gerät, keine Datei"_s;
    QTest::newRow("socket") << u"socket"_s << u"Der Pfad bezeichnet einen Socket, keine Datei"_s;
    QTest::newRow("link loop") << u"loop"_s << u"Zu viele symbolische Verknüpfungen im Pfad"_s;
    QTest::newRow("name too long") << u"long-name"_s << u"Der Dateiname ist zu lang"_s;
    QTest::newRow("unreadable") << u"unreadable"_s
                                << u"Zugriff verweigert: die Datei darf nicht gelesen werden"_s;
}

void XmlDocumentTest::fileProblems() {
    QFETCH(QString, kind);
    QFETCH(QString, reason);

    const ScratchDir dir;
    QString path;
    int socket = -1;
    const auto closeSocket = qScopeGuard([&] {
        if (socket >= 0)
            ::close(socket);
    });
    if (kind == u"missing") {
        path = dir.path(u"nothing.xml"_s);
    } else if (kind == u"below-file") {
        path = dir.write(u"file.xml"_s, "<r/>") + u"/inner.xml"_s;
    } else if (kind == u"dangling") {
        path = dir.path(u"dangling.xml"_s);
        QVERIFY(QFile::link(dir.path(u"gone.xml"_s), path));
    } else if (kind == u"folder") {
        path = dir.path(QString());
    } else if (kind == u"folder-link") {
        path = dir.path(u"folder.xml"_s);
        QVERIFY(QFile::link(dir.path(QString()), path));
    } else if (kind == u"fifo") {
        // Nobody writes to the pipe: opening it for reading would wait for ever.
        path = dir.path(u"pipe.xml"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == u"device") {
        path = u"/dev/null"_s;
    } else if (kind == u"socket") {
        path = dir.path(u"socket.xml"_s);
        const QByteArray local = QFile::encodeName(path);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        QVERIFY(std::size_t(local.size()) < sizeof address.sun_path);
        std::memcpy(address.sun_path, local.constData(), std::size_t(local.size()));
        socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(socket >= 0);
        QCOMPARE(::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    } else if (kind == u"loop") {
        path = dir.path(u"one.xml"_s);
        QVERIFY(QFile::link(dir.path(u"two.xml"_s), path));
        QVERIFY(QFile::link(path, dir.path(u"two.xml"_s)));
    } else if (kind == u"long-name") {
        path = dir.path(QString(300, u'n') + u".xml"_s);
    } else if (kind == u"unreadable") {
        if (::geteuid() == 0)
            QSKIP("the superuser reads every file");
        path = dir.write(u"locked.xml"_s, "<r/>");
        QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
    }

    XmlDocument doc;
    QCOMPARE(failureOf<EDOMParseError>([&] { doc.LoadFromFile(path); }),
             parseMessage(reason, 0, QString()));
    QCOMPARE(doc.FileName(), path);
    QVERIFY(!doc.Active());
}

void XmlDocumentTest::parseFailures_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("srcText");

    const QString fifty = repeated(u"0123456789"_s, 5);
    const QString file = u"layout.xml"_s;
    const QString mismatch = u"Opening and ending tag mismatch: "_s;

    QTest::newRow("mismatch on line 3")
        << file << QByteArray("<root>\n  <a>\n  <b x=\"1\"></c>\n</root>\n")
        << mismatch + u"b line 3 and c"_s << 3 << u"  <b x=\"1\"></c>"_s;
    QTest::newRow("line longer than 40")
        << file << (u"<root>\n<a>"_s + fifty + u"</b></root>\n"_s).toUtf8()
        << mismatch + u"a line 2 and b"_s << 2 << (u"<a>"_s + fifty).left(40);
    QTest::newRow("100000 characters in a tag")
        << file << (u"<root>\n<a x=\""_s + kLongRun + u"\" <b/></root>\n"_s).toUtf8()
        << u"error parsing attribute name"_s << 2 << (u"<a x=\""_s + kLongRun).left(40);
    QTest::newRow("100000 characters of text")
        << file << (u"<root>\n"_s + kLongRun + u"</b></root>\n"_s).toUtf8()
        << mismatch + u"root line 1 and b"_s << 2 << kLongRun.left(40);
    QTest::newRow("long line after 20000 lines")
        << file
        << (u"<root>\n"_s + repeated(u"<a/>\n"_s, 20'000) + u"<a x=\""_s + kLongRun +
            u"\" <b/></root>\n"_s)
               .toUtf8()
        << u"error parsing attribute name"_s << 20'002 << (u"<a x=\""_s + kLongRun).left(40);
    QTest::newRow("error after 70000 lines")
        << file
        << (u"<root>\n"_s + repeated(u"<a/>\n"_s, 70'000) + u"<a></b>\n</root>\n"_s).toUtf8()
        << mismatch + u"a line 70002 and b"_s << 70'002 << u"<a></b>"_s;
    QTest::newRow("long line in a non-ASCII file name")
        << u"Fenster-äöü ß.xml"_s
        << (u"<root>\n<a x=\""_s + kLongRun + u"\" <b/></root>\n"_s).toUtf8()
        << u"error parsing attribute name"_s << 2 << (u"<a x=\""_s + kLongRun).left(40);
    QTest::newRow("error at the end of an unterminated last line")
        << file << QByteArray("<root>\n<a>") << u"Premature end of data in tag a line 2"_s << 2
        << u"<a>"_s;
    QTest::newRow("empty file") << file << QByteArray() << u"Document is empty"_s << 1 << QString();

    QTest::newRow("UTF-16 LE with BOM") << file << utf16(u"<root>\n<ä>ü</ö>\n</root>\n"_s)
                                        << mismatch + u"ä line 2 and ö"_s << 2 << u"<ä>ü</ö>"_s;
    QTest::newRow("UTF-16 BE with BOM") << file << utf16(u"<root>\n<ä>ü</ö>\n</root>\n"_s, true)
                                        << mismatch + u"ä line 2 and ö"_s << 2 << u"<ä>ü</ö>"_s;
    QTest::newRow("UTF-16 error on line 1")
        << file << utf16(u"<root><ä>ü</ö></root>\n"_s) << mismatch + u"ä line 1 and ö"_s << 1
        << u"<root><ä>ü</ö></root>"_s;
    QTest::newRow("UTF-16 long line")
        << file << utf16(u"<root>\n<ä x=\""_s + repeated(u"ü"_s, 100'000) + u"\" <b/></root>\n"_s)
        << u"error parsing attribute name"_s << 2 << u"<ä x=\""_s + repeated(u"ü"_s, 34);
    QTest::newRow("UTF-16 long line 1")
        << file << utf16(u"<root><ä x=\""_s + repeated(u"ü"_s, 100'000) + u"\" <b/></root>\n"_s)
        << u"error parsing attribute name"_s << 1 << u"<root><ä x=\""_s + repeated(u"ü"_s, 28);
    QTest::newRow("ISO-8859-1 umlauts")
        << file
        << (u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<root>\n<äöü>Grüße</x>\n</root>\n"_s)
               .toLatin1()
        << mismatch + u"äöü line 3 and x"_s << 3 << u"<äöü>Grüße</x>"_s;
    QTest::newRow("ISO-8859-1 long line")
        << file
        << (u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<root>\n<äöü x=\""_s +
            repeated(u"ß"_s, 100'000) + u"\" <b/></root>\n"_s)
               .toLatin1()
        << u"error parsing attribute name"_s << 3 << u"<äöü x=\""_s + repeated(u"ß"_s, 32);
    // 0x80 is the euro sign in windows-1252 and a control character in ISO-8859-1.
    QTest::newRow("windows-1252 long line")
        << file
        << QByteArray("<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<root>\n<a x=\"\x80") +
               QByteArray(100'000, '\xDF') + QByteArray("\" <b/></root>\n")
        << u"error parsing attribute name"_s << 3 << u"<a x=\"€"_s + repeated(u"ß"_s, 33);
    QTest::newRow("outside the BMP")
        << file << (u"<root>\n<ab>"_s + repeated(kEmoji, 30) + u"</b></root>\n"_s).toUtf8()
        << mismatch + u"ab line 2 and b"_s << 2 << u"<ab>"_s + repeated(kEmoji, 18);
    QTest::newRow("outside the BMP, long line")
        << file
        << (u"<root>\n<abc x=\""_s + repeated(kEmoji, 100'000) + u"\" <b/></root>\n"_s).toUtf8()
        << u"error parsing attribute name"_s << 2 << u"<abc x=\""_s + repeated(kEmoji, 16);
    QTest::newRow("CR LF line ends") << file << QByteArray("<root>\r\n<a></b>\r\n</root>\r\n")
                                     << mismatch + u"a line 2 and b"_s << 2 << u"<a></b>"_s;
    QTest::newRow("CR LF, long line")
        << file << (u"<root>\r\n<a x=\""_s + kLongRun + u"\" <b/></root>\r\n"_s).toUtf8()
        << u"error parsing attribute name"_s << 2 << (u"<a x=\""_s + kLongRun).left(40);
    QTest::newRow("UTF-8 BOM, error on line 1")
        << file << QByteArray("\xEF\xBB\xBF<root><a></b></root>\n")
        << mismatch + u"a line 1 and b"_s << 1 << u"<root><a></b></root>"_s;
    QTest::newRow("UTF-8 BOM, long line 1")
        << file
        << QByteArray("\xEF\xBB\xBF") +
               (u"<root x=\""_s + kLongRun + u"\" <b/></root>\n"_s).toUtf8()
        << u"error parsing attribute name"_s << 1 << (u"<root x=\""_s + kLongRun).left(40);

    // A byte-order mark names the encoding; a declaration of another one is refused.
    QTest::newRow("UTF-8 BOM declared ISO-8859-1")
        << file
        << QByteArray("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n<root/>\n")
        << u"Die Kodierung ISO-8859-1 in der XML-Deklaration widerspricht der "
           "Byte-Order-Markierung am Anfang der Datei"_s
        << 1 << u"<?xml version=\"1.0\" encoding=\"iso-8859-1"_s;
    QTest::newRow("UTF-16 BOM declared UTF-8")
        << file << utf16(u"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<root/>\n"_s, true)
        << u"Die Kodierung UTF-8 in der XML-Deklaration widerspricht der "
           "Byte-Order-Markierung am Anfang der Datei"_s
        << 1 << u"<?xml version=\"1.0\" encoding=\"utf-8\"?>"_s;
    // A thousand references to a 100,000-character entity in attribute values: the file is
    // small, the text it stands for is not.
    QTest::newRow("attribute values expanding past the limit")
        << file
        << "<!DOCTYPE r [<!ENTITY a \"" + QByteArray(100'000, 'a') + "\">]>\n<r>\n<f x=\"" +
               QByteArray("&a;").repeated(1000) + "\"/>\n</r>\n"
        << u"Die Entitäten in Attributwerten ergeben mehr als 10000000 Zeichen"_s << 3
        << QStringLiteral("<f x=\"") + QStringLiteral("&a;").repeated(12).left(34);
    QTest::newRow("same attribute once namespace names are expanded")
        << file
        << QByteArray("<!DOCTYPE r [<!ENTITY t \"~\">]>\n<r xmlns:a=\"urn:~x\" "
                      "xmlns:b=\"urn:&t;x\">\n<e a:n=\"1\" b:n=\"2\"/>\n</r>\n")
        << u"Das Element e hat zwei gleichnamige Attribute im selben Namensraum"_s << 3
        << u"<e a:n=\"1\" b:n=\"2\"/>"_s;

    QTest::newRow("two top-level elements")
        << file << QByteArray("<a/>\n<b/>\n") << u"Extra content at the end of the document"_s << 2
        << u"<b/>"_s;
    QTest::newRow("undeclared element prefix")
        << file << QByteArray("<root>\n<p:a/>\n</root>\n")
        << u"Namespace prefix p on a is not defined"_s << 2 << u"<p:a/>"_s;
    QTest::newRow("undeclared attribute prefix")
        << file << QByteArray("<root>\n<a p:x=\"1\"/>\n</root>\n")
        << u"Namespace prefix p for x on a is not defined"_s << 2 << u"<a p:x=\"1\"/>"_s;
    QTest::newRow("undefined entity") << file << QByteArray("<r>\n&nope;\n</r>\n")
                                      << u"Entity 'nope' not defined"_s << 2 << u"&nope;"_s;
    // Ten levels of ten references each: ten thousand million characters if expanded.
    const QByteArray bomb = "<!DOCTYPE r [\n<!ENTITY a \"xxxxxxxxxx\">\n"
                            "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">\n"
                            "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">\n"
                            "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">\n"
                            "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">\n"
                            "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">\n"
                            "<!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">\n"
                            "<!ENTITY h \"&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;\">\n"
                            "<!ENTITY i \"&h;&h;&h;&h;&h;&h;&h;&h;&h;&h;\">\n"
                            "<!ENTITY j \"&i;&i;&i;&i;&i;&i;&i;&i;&i;&i;\">\n"
                            "]>\n";
    QTest::newRow("entity expansion bomb in an attribute")
        << file << bomb + "<r a=\"&j;\"/>\n"
        << u"Detected an entity reference loop"_s << 13 << u"<r a=\"&j;\"/>"_s;
    QTest::newRow("entity expansion bomb in content")
        << file << bomb + "<r>\n  &j;</r>\n"
        << u"Detected an entity reference loop"_s << 14 << u"  &j;</r>"_s;
    QTest::newRow("unsupported encoding")
        << file << QByteArray("<?xml version=\"1.0\" encoding=\"x-none\"?>\n<r/>\n")
        << u"Unsupported encoding x-none"_s << 1
        << u"<?xml version=\"1.0\" encoding=\"x-none\"?>"_s;
    QTest::newRow("invalid UTF-8")
        << file << QByteArray("<r>\n<a>\xE4</a>\n</r>\n")
        << u"Input is not proper UTF-8, indicate encoding !\nBytes: 0xE4 0x3C 0x2F 0x61"_s << 2
        << u"<a>\uFFFD</a>"_s;
    QTest::newRow("error inside an entity used inside an entity")
        << file
        << QByteArray("<!DOCTYPE r [\n<!ENTITY a \"<x>\">\n<!ENTITY b \"<y>&a;</y>\">\n]>\n"
                      "<r>\n  &b;</r>\n")
        << u"Premature end of data in tag x line 1"_s << 6 << u"  &b;</r>"_s;
    // The entity's text is parsed on its own, and the parser counts lines within it; the
    // message points at the reference in the file instead.
    QTest::newRow("error inside an entity's text")
        << file << QByteArray("<!DOCTYPE r [\n<!ENTITY e \"<a>\">\n]>\n<r>\n&e;\n</r>\n")
        << u"Premature end of data in tag a line 1"_s << 5 << u"&e;"_s;
}

void XmlDocumentTest::parseFailures() {
    QFETCH(QString, fileName);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QFETCH(int, line);
    QFETCH(QString, srcText);

    const ScratchDir dir;
    const QString path = dir.write(fileName, bytes);
    XmlDocument doc;
    try {
        doc.LoadFromFile(path);
        QFAIL("the load succeeded");
    } catch (const EDOMParseError& failure) {
        QCOMPARE(failure.report().reason, reason);
        QCOMPARE(failure.report().line, line);
        QCOMPARE(failure.report().srcText, srcText);
        QCOMPARE(failure.message(), parseMessage(reason, line, srcText));
    }
    QCOMPARE(doc.FileName(), path);
    QVERIFY(!doc.Active());
}

void XmlDocumentTest::failingLoadsPrintNothing() {
    const ScratchDir dir;
    const QStringList paths = {
        dir.write(u"mismatch.xml"_s, "<r><a></b></r>"),
        dir.write(u"prefix.xml"_s, "<r><p:a/></r>"),
        dir.write(u"encoding.xml"_s, "<r>\xE4</r>"),
        dir.write(u"unknown-encoding.xml"_s, "<?xml version=\"1.0\" encoding=\"x-none\"?><r/>"),
        dir.write(u"entity.xml"_s, "<!DOCTYPE r [<!ENTITY e \"<a>\">]><r>&e;</r>"),
        dir.write(u"empty.xml"_s, QByteArray()),
        dir.write(u"decoding.xml"_s, "<?xml version=\"1.0\" encoding=\"euc-jp\"?>\n<r><!-- " +
                                         QByteArray("\xA4\xA2").repeated(1000) + " -->\xFF</r>"),
        dir.write(u"long.xml"_s, (u"<r>\n<a x=\""_s + kLongRun + u"\" <b/></r>"_s).toUtf8()),
        dir.path(u"missing.xml"_s),
        dir.path(QString()),
    };

    QTemporaryFile capture;
    QVERIFY(capture.open());
    std::fflush(stderr);
    const int savedStderr = ::dup(STDERR_FILENO);
    QVERIFY(savedStderr >= 0);
    QVERIFY(::dup2(capture.handle(), STDERR_FILENO) >= 0);
    int failures = 0;
    for (const QString& path : paths) {
        XmlDocument doc;
        try {
            doc.LoadFromFile(path);
        } catch (const Exception&) {
            ++failures;
        }
    }
    std::fflush(stderr);
    ::dup2(savedStderr, STDERR_FILENO);
    ::close(savedStderr);

    QCOMPARE(failures, int(paths.size()));
    QFile written(capture.fileName());
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray());
}

void XmlDocumentTest::readSourceLine_data() {
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

void XmlDocumentTest::readSourceLine() {
    QFETCH(QByteArray, bytes);
    QFETCH(long long, line);
    QFETCH(QByteArray, encoding);
    QFETCH(int, maxUnits);
    QFETCH(QString, text);

    const ScratchDir dir;
    const QString path = dir.write(u"source.txt"_s, bytes);
    QCOMPARE(lyremap::readSourceLine(path, line, encoding.toStdString(), maxUnits), text);
}

void XmlDocumentTest::readSourceLineOfMissingFile() {
    const ScratchDir dir;
    QCOMPARE(lyremap::readSourceLine(dir.path(u"gone.txt"_s), 1, std::string(), 40), QString());
}

// --- Nothing beyond the file itself is read ---------------------------------------------------

void XmlDocumentTest::externalDtdIsNotFetched() {
    const ScratchDir dir;
    XmlDocument doc;
    doc.LoadFromFile(dir.write(u"doctype.xml"_s,
                               "<!DOCTYPE widget_description SYSTEM \"does-not-exist.dtd\">\n"
                               "<widget_description><widget/></widget_description>\n"));
    QVERIFY(doc.Active());
    const Node document = doc.DocumentNode();
    QCOMPARE(childNames(document), (QStringList{u"widget_description"_s, u"widget_description"_s}));
    QCOMPARE(document.ChildNodes().Item(0).nodeType(), NodeType::DocumentType);
    QCOMPARE(childNames(doc.FindTopLevelNode(u"widget_description"_s)), QStringList{u"widget"_s});
}

void XmlDocumentTest::externalEntityIsNotRead() {
    const ScratchDir dir;
    dir.write(u"secret.txt"_s, "SECRET");
    XmlDocument doc;
    doc.LoadFromFile(
        dir.write(u"text.xml"_s, "<!DOCTYPE r [<!ENTITY x SYSTEM \"secret.txt\">]>\n<r>&x;</r>\n"));
    const Node reference = doc.FindTopLevelNode(u"r"_s).ChildNodes().Item(0);
    QCOMPARE(reference.nodeType(), NodeType::EntityReference);
    QCOMPARE(reference.NodeName(), u"x"_s);
    QVERIFY(!reference.HasChildNodes());

    // In an attribute an external entity is not allowed at all.
    QCOMPARE(failureOf<EDOMParseError>([&] {
                 doc.LoadFromFile(dir.write(
                     u"attr.xml"_s,
                     "<!DOCTYPE r [<!ENTITY x SYSTEM \"secret.txt\">]>\n<r a=\"&x;\"/>\n"));
             }),
             parseMessage(u"Attribute references external entity 'x'"_s, 2, u"<r a=\"&x;\"/>"_s));
}

// --- The node tree ----------------------------------------------------------------------------

void XmlDocumentTest::nodeNames_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<NodeType>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("localName");
    QTest::addColumn<QString>("namespaceURI");

    QTest::newRow("document") << u""_s << NodeType::Document << u"#document"_s << u"#document"_s
                              << QString();
    QTest::newRow("PI before the root")
        << u"0"_s << NodeType::ProcessingInstruction << u"before"_s << u"before"_s << QString();
    QTest::newRow("top-level comment")
        << u"1"_s << NodeType::Comment << u"#comment"_s << u"#comment"_s << QString();
    QTest::newRow("document type")
        << u"2"_s << NodeType::DocumentType << u"r"_s << u"r"_s << QString();
    QTest::newRow("root element") << u"3"_s << NodeType::Element << u"r"_s << u"r"_s << QString();
    QTest::newRow("comment after the root")
        << u"4"_s << NodeType::Comment << u"#comment"_s << u"#comment"_s << QString();
    QTest::newRow("prefixed element")
        << u"3/0"_s << NodeType::Element << u"p:w"_s << u"w"_s << u"urn:p"_s;
    QTest::newRow("text") << u"3/1"_s << NodeType::Text << u"#text"_s << u"#text"_s << QString();
    QTest::newRow("CDATA") << u"3/2"_s << NodeType::CDataSection << u"#cdata-section"_s
                           << u"#cdata-section"_s << QString();
    QTest::newRow("comment") << u"3/3"_s << NodeType::Comment << u"#comment"_s << u"#comment"_s
                             << QString();
    QTest::newRow("PI") << u"3/4"_s << NodeType::ProcessingInstruction << u"target"_s << u"target"_s
                        << QString();
    QTest::newRow("entity reference")
        << u"3/5"_s << NodeType::EntityReference << u"e"_s << u"e"_s << QString();
    QTest::newRow("element in an entity")
        << u"3/5/0"_s << NodeType::Element << u"b"_s << u"b"_s << QString();
    QTest::newRow("text in an entity")
        << u"3/5/1"_s << NodeType::Text << u"#text"_s << u"#text"_s << QString();
    QTest::newRow("element after white space")
        << u"3/6"_s << NodeType::Element << u"x"_s << u"x"_s << QString();
}

void XmlDocumentTest::nodeNames() {
    QFETCH(QString, path);
    QFETCH(NodeType, type);
    QFETCH(QString, name);
    QFETCH(QString, localName);
    QFETCH(QString, namespaceURI);

    const ScratchDir dir;
    XmlDocument doc;
    doc.LoadFromFile(dir.write(u"kinds.xml"_s, kEveryKind));
    const Node node = nodeAt(doc.DocumentNode(), path);
    QCOMPARE(node.nodeType(), type);
    QCOMPARE(node.NodeName(), name);
    QCOMPARE(node.LocalName(), localName);
    QCOMPARE(node.NamespaceURI(), namespaceURI);
}

void XmlDocumentTest::childLists_data() {
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("empty element") << QByteArray("<r/>") << QStringList();
    QTest::newRow("white space only") << QByteArray("<r>  \n\t \r\n </r>") << QStringList();
    QTest::newRow("elements between white space")
        << QByteArray("<r>\n  <a/>\n  <b>  </b>\n</r>") << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("comments and PIs count")
        << QByteArray("<r><!--c--><?pi data?><a/><!----><?x?></r>")
        << QStringList{u"#comment"_s, u"pi"_s, u"a"_s, u"#comment"_s, u"x"_s};
    QTest::newRow("mixed text") << QByteArray("<r>one <a/> two</r>")
                                << QStringList{u"#text"_s, u"a"_s, u"#text"_s};
    QTest::newRow("white-space CDATA kept")
        << QByteArray("<r> <![CDATA[  ]]> </r>") << QStringList{u"#cdata-section"_s};
    QTest::newRow("entity reference")
        << QByteArray("<!DOCTYPE r [<!ENTITY e \"<b/>\">]><r> &e; <c/></r>")
        << QStringList{u"e"_s, u"c"_s};
    QTest::newRow("predefined entity is text")
        << QByteArray("<r>&amp;</r>") << QStringList{u"#text"_s};
    QTest::newRow("deep nesting is one child")
        << QByteArray("<r><a><b><c/></b></a></r>") << QStringList{u"a"_s};
}

void XmlDocumentTest::childLists() {
    QFETCH(QByteArray, xml);
    QFETCH(QStringList, names);

    const ScratchDir dir;
    XmlDocument doc;
    doc.LoadFromFile(dir.write(u"children.xml"_s, xml));
    const Node root = doc.FindTopLevelNode(u"r"_s);
    QCOMPARE(childNames(root), names);
    QCOMPARE(root.ChildNodes().Count(), int(names.size()));
    QCOMPARE(root.HasChildNodes(), !names.isEmpty());
}

void XmlDocumentTest::childListIsBuiltOnce() {
    const ScratchDir dir;
    XmlDocument doc;
    doc.LoadFromFile(dir.write(u"kinds.xml"_s, kEveryKind));
    const Node root = doc.FindTopLevelNode(u"r"_s);

    const NodeList& first = root.ChildNodes();
    const NodeList& second = root.ChildNodes();
    QCOMPARE(&first, &second);
    QCOMPARE(first.Count(), 7);
    for (int i = 0; i < first.Count(); ++i) {
        QVERIFY(first.Item(i) == second.Item(i));
        QVERIFY(first.Item(i) == root.ChildNodes().Item(i));
        QVERIFY(!first.Item(i).isNull());
        for (int j = 0; j < i; ++j)
            QVERIFY(!(first.Item(i) == first.Item(j)));
    }

    // The lookup and the document node give the handles of the document's own list.
    const Node document = doc.DocumentNode();
    QVERIFY(document == doc.DocumentNode());
    QVERIFY(document.ChildNodes().Item(3) == root);
    QVERIFY(doc.FindTopLevelNode(u"r"_s) == root);
    QCOMPARE(&document.ChildNodes(), &doc.DocumentNode().ChildNodes());

    // A reference's children are built once too; a copied handle shares its list.
    const Node reference = first.Item(5);
    const Node copy = reference;
    QVERIFY(copy == reference);
    QCOMPARE(&copy.ChildNodes(), &reference.ChildNodes());
    QVERIFY(copy.ChildNodes().Item(0) == reference.ChildNodes().Item(0));

    // Leaves have no children.
    for (const int leaf : {1, 2, 3, 4})
        QVERIFY2(!first.Item(leaf).HasChildNodes(), qPrintable(first.Item(leaf).NodeName()));
    QVERIFY(!document.ChildNodes().Item(2).HasChildNodes()); // the document type
    QVERIFY(reference.HasChildNodes());
    QVERIFY(document.HasChildNodes());

    // A null handle is only null.
    QVERIFY(Node().isNull());
    QVERIFY(Node() == Node());
    QVERIFY(!(Node() == root));
}

void XmlDocumentTest::attributeValues_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<std::optional<QString>>("value");

    const std::optional<QString> absent;
    const auto text = [](const QString& s) { return std::optional<QString>(s); };

    QTest::newRow("empty value") << u"1"_s << u"x"_s << text(QString(u""_s));
    QTest::newRow("upper case name") << u"1"_s << u"X"_s << text(u"X"_s);
    QTest::newRow("lower case value") << u"1"_s << u"y"_s << text(u"x"_s);
    QTest::newRow("case counts") << u"1"_s << u"Y"_s << absent;
    QTest::newRow("absent") << u"1"_s << u"width"_s << absent;
    QTest::newRow("empty name") << u"1"_s << QString() << absent;
    QTest::newRow("trailing blank") << u"1"_s << u"x "_s << absent;
    QTest::newRow("prefixed by qualified name") << u"1"_s << u"p:x"_s << text(u"P"_s);
    QTest::newRow("second prefix of one namespace") << u"1"_s << u"q:y"_s << text(u"Q"_s);
    QTest::newRow("other prefix of that namespace") << u"1"_s << u"p:y"_s << absent;
    QTest::newRow("unknown prefix") << u"1"_s << u"s:x"_s << absent;
    QTest::newRow("prefix alone") << u"1"_s << u"p:"_s << absent;
    QTest::newRow("colon and local name") << u"1"_s << u":x"_s << absent;
    QTest::newRow("local name of a prefixed attribute") << u"1/3"_s << u"x"_s << absent;
    QTest::newRow("prefix declared on the parent") << u"1/3"_s << u"p:x"_s << text(u"inner"_s);
    QTest::newRow("xml prefix") << u"1"_s << u"xml:lang"_s << text(u"de"_s);
    QTest::newRow("xml prefix's local name") << u"1"_s << u"lang"_s << absent;
    QTest::newRow("non-ASCII name") << u"1"_s << u"größe"_s << text(u"5"_s);
    QTest::newRow("namespace declaration") << u"1"_s << u"xmlns:p"_s << text(u"urn:p"_s);
    QTest::newRow("default namespace declaration") << u"1"_s << u"xmlns"_s << text(u"urn:d"_s);
    QTest::newRow("character references kept") << u"1"_s << u"z"_s << text(u"a\tb\nc"_s);
    QTest::newRow("literal tab and line break normalised") << u"1"_s << u"t"_s << text(u"a b c"_s);
    QTest::newRow("internal entity") << u"1"_s << u"e"_s << text(u"Wert"_s);
    QTest::newRow("nested internal entities") << u"1"_s << u"n"_s << text(u"A-B-C"_s);
    QTest::newRow("predefined entities") << u"1"_s << u"lt"_s << text(u"<A&\""_s);
    QTest::newRow("name with a NUL inside")
        << u"1"_s << QStringView(u"x\0y", 3).toString() << absent;
    QTest::newRow("name with a NUL at the end")
        << u"1"_s << QStringView(u"y\0", 2).toString() << absent;
    QTest::newRow("default from the file's DTD") << u"1"_s << u"d"_s << text(u"dflt"_s);
    QTest::newRow("written value beats the default") << u"1"_s << u"x"_s << text(QString(u""_s));
    QTest::newRow("prefixed default") << u"1"_s << u"p:dx"_s << text(u"pd"_s);
    QTest::newRow("prefixed default by local name") << u"1"_s << u"dx"_s << absent;
    QTest::newRow("fixed default") << u"1/3"_s << u"wd"_s << text(u"fixed"_s);
    QTest::newRow("required, not written") << u"1/3"_s << u"rq"_s << absent;
    QTest::newRow("implied, not written") << u"1/3"_s << u"im"_s << absent;
    QTest::newRow("default of another element") << u"1/3"_s << u"d"_s << absent;
    QTest::newRow("default name with a NUL")
        << u"1"_s << QStringView(u"d\0", 2).toString() << absent;
    QTest::newRow("text node") << u"1/0"_s << u"x"_s << absent;
    QTest::newRow("comment node") << u"1/1"_s << u"x"_s << absent;
    QTest::newRow("PI pseudo-attribute") << u"1/2"_s << u"a"_s << absent;
    QTest::newRow("document node") << u""_s << u"x"_s << absent;
    QTest::newRow("document type node") << u"0"_s << u"x"_s << absent;
}

void XmlDocumentTest::attributeValues() {
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(std::optional<QString>, value);

    const ScratchDir dir;
    XmlDocument doc;
    doc.LoadFromFile(dir.write(u"attributes.xml"_s, kAttributes));
    const Node node = nodeAt(doc.DocumentNode(), path);
    const std::optional<QString> actual = node.AttributeValue(name);
    QCOMPARE(actual.has_value(), value.has_value());
    if (value) {
        QCOMPARE(*actual, *value);
        QCOMPARE(actual->isNull(), false); // an empty value is still a text, not null
    }
}

void XmlDocumentTest::topLevelLookup_data() {
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("foundName"); // empty: the lookup fails
    QTest::addColumn<QStringList>("children");

    const QString wd = u"widget_description"_s;
    QTest::newRow("plain root") << QByteArray("<widget_description><widget/></widget_description>")
                                << wd << wd << QStringList{u"widget"_s};
    QTest::newRow("after a PI of that name")
        << QByteArray("<?widget_description data?>\n"
                      "<widget_description><widget/></widget_description>")
        << wd << wd << QStringList{u"widget"_s};
    QTest::newRow("after a DOCTYPE of that name")
        << QByteArray("<!DOCTYPE widget_description>\n"
                      "<widget_description><widget/></widget_description>")
        << wd << wd << QStringList{u"widget"_s};
    QTest::newRow("after comments") << QByteArray("<!--widget_description--><widget_description/>")
                                    << wd << wd << QStringList();
    QTest::newRow("prefixed root by local name")
        << QByteArray("<p:widget_description xmlns:p=\"urn:p\"><p:widget/></p:widget_description>")
        << wd << u"p:widget_description"_s << QStringList{u"p:widget"_s};
    QTest::newRow("prefixed root by qualified name")
        << QByteArray("<p:widget_description xmlns:p=\"urn:p\"/>") << u"p:widget_description"_s
        << u"p:widget_description"_s << QStringList();
    QTest::newRow("root in a default namespace")
        << QByteArray("<widget_description xmlns=\"urn:d\"><widget/></widget_description>") << wd
        << wd << QStringList{u"widget"_s};
    QTest::newRow("other letter case")
        << QByteArray("<Widget_Description/>") << wd << QString() << QStringList();
    QTest::newRow("other root") << QByteArray("<layout><widget_description/></layout>") << wd
                                << QString() << QStringList();
    QTest::newRow("only a PI of that name")
        << QByteArray("<?widget_description?><layout/>") << wd << QString() << QStringList();
    QTest::newRow("only a DOCTYPE of that name")
        << QByteArray("<!DOCTYPE widget_description><layout/>") << wd << QString() << QStringList();
    QTest::newRow("nested element is not top-level")
        << QByteArray("<widget_description><widget/></widget_description>") << u"widget"_s
        << QString() << QStringList();
    QTest::newRow("comment is not an element") << QByteArray("<widget_description/><!--c-->")
                                               << u"#comment"_s << QString() << QStringList();
}

void XmlDocumentTest::topLevelLookup() {
    QFETCH(QByteArray, xml);
    QFETCH(QString, name);
    QFETCH(QString, foundName);
    QFETCH(QStringList, children);

    const ScratchDir dir;
    XmlDocument doc;
    doc.LoadFromFile(dir.write(u"lookup.xml"_s, xml));
    const QStringList before = childNames(doc.DocumentNode());

    if (foundName.isEmpty()) {
        try {
            doc.FindTopLevelNode(name);
            QFAIL("the lookup found a node");
        } catch (const EOleException& failure) {
            QCOMPARE(failure.message(),
                     u"Das Dokument hat kein Element "_s + name + u" auf oberster Ebene"_s);
        }
        // The failed lookup leaves the document as it was.
        QVERIFY(doc.Active());
        QCOMPARE(childNames(doc.DocumentNode()), before);
        return;
    }

    const Node found = doc.FindTopLevelNode(name);
    QCOMPARE(found.nodeType(), NodeType::Element);
    QCOMPARE(found.NodeName(), foundName);
    QCOMPARE(childNames(found), children);
    QCOMPARE(childNames(doc.DocumentNode()), before);
}

QTEST_GUILESS_MAIN(XmlDocumentTest)
#include "tst_XmlDocument.moc"
