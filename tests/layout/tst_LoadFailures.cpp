// Loads that fail, and what they report: files that are no layout, parse failures with their
// reason, line and start of the source line in every encoding the parser reads; nothing
// beyond the file itself is read.
#include "TestSupport.h"
#include "XmlTestSupport.h"

#include "layout/xml/DocumentErrors.h"
#include "layout/xml/XmlDocument.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <QTest>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

using lyremap::EDOMParseError;
using lyremap::Exception;
using lyremap::Node;
using lyremap::NodeType;
using lyremap::XmlDocument;
using lyremap::test::ScratchDir;

Q_DECLARE_METATYPE(lyremap::NodeType)

using namespace lyremap::test;

class LoadFailuresTest : public QObject {
    Q_OBJECT

private slots:
    void fileProblems_data();
    void fileProblems();
    void parseFailures_data();
    void parseFailures();
    void failingLoadsPrintNothing();
    void externalDtdIsNotFetched();
    void externalEntityIsNotRead();
};

// --- Failures of a load -----------------------------------------------------------------------

void LoadFailuresTest::fileProblems_data() {
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

void LoadFailuresTest::fileProblems() {
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

void LoadFailuresTest::parseFailures_data() {
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

void LoadFailuresTest::parseFailures() {
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

void LoadFailuresTest::failingLoadsPrintNothing() {
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

// --- Nothing beyond the file itself is read ---------------------------------------------------

void LoadFailuresTest::externalDtdIsNotFetched() {
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

void LoadFailuresTest::externalEntityIsNotRead() {
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

QTEST_GUILESS_MAIN(LoadFailuresTest)
#include "tst_LoadFailures.moc"
