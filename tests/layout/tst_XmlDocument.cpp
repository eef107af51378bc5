// The document component: loading, closing and the file name, and node handles that outlive
// the document.
#include "TestSupport.h"
#include "XmlTestSupport.h"

#include "layout/xml/DocumentErrors.h"
#include "layout/xml/XmlDocument.h"

#include <QTest>
#include <optional>
#include <unistd.h>

using namespace Qt::StringLiterals;

using lyremap::EDOMParseError;
using lyremap::Exception;
using lyremap::EXMLDocError;
using lyremap::Node;
using lyremap::XmlDocument;
using lyremap::test::ScratchDir;

using namespace lyremap::test;

class XmlDocumentTest : public QObject {
    Q_OBJECT

private slots:
    void startsEmpty();
    void loadWithoutFileName();
    void closeKeepsFileNameAndHandles();
    void handlesOutliveTheDocumentObject();
    void emptyPathReloadsPreviousFile();
    void failedLoadKeepsNewPath();
};

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

QTEST_GUILESS_MAIN(XmlDocumentTest)
#include "tst_XmlDocument.moc"
