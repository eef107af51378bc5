// Where elements and attributes stand in the file: lines and columns as an editor counts them,
// in every encoding, through entities and DTD defaults, and on lines longer than the parser
// keeps in memory at once.
#include "TestSupport.h"

#include "layout/xml/LineIndex.h"
#include "layout/xml/XmlDocument.h"

#include <QStringEncoder>
#include <QTest>

using namespace Qt::StringLiterals;
using lyremap::ChildCursor;
using lyremap::Node;
using lyremap::NodeType;
using lyremap::SourcePosition;
using lyremap::XmlDocument;
using lyremap::test::ScratchDir;

namespace {

// The first element named NAME in document order, entity content included.
Node findElement(const Node& node, const QString& name) {
    if (node.nodeType() == NodeType::Element && node.NodeName() == name)
        return node;
    for (ChildCursor child(node); !child.atEnd(); child.next())
        if (Node found = findElement(child.node(), name); !found.isNull())
            return found;
    return Node();
}

QString shown(SourcePosition position) {
    return QString::number(position.line) + u':' + QString::number(position.column);
}

QByteArray utf16(const QString& text) {
    QStringEncoder encoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    return encoder.encode(text);
}

} // namespace

class SourcePositionsTest : public QObject {
    Q_OBJECT

private slots:
    void positions_data();
    void positions();
    void writtenAttributes();
    void lineIndex_data();
    void lineIndex();
};

void SourcePositionsTest::positions_data() {
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("element");
    QTest::addColumn<QString>("where"); // line:column of the element
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QString>("attributeWhere"); // line:column of the attribute, 0:0 for none

    QTest::newRow("root") << QByteArray("<r/>") << u"r"_s << u"1:1"_s << u"x"_s << u"0:0"_s;
    QTest::newRow("tag over several lines") << QByteArray("<r>\n <a\n   x='1'\n\ty =\n'2'/></r>")
                                            << u"a"_s << u"2:2"_s << u"y"_s << u"4:2"_s;
    QTest::newRow("attribute on the tag's line")
        << QByteArray("<r>\n <a b='&gt;' x='1'\n y='2'/></r>") << u"a"_s << u"2:2"_s << u"x"_s
        << u"2:14"_s;
    QTest::newRow("namespace declaration before it")
        << QByteArray("<r><p:a xmlns:p='urn:p' p:x='1'/></r>") << u"p:a"_s << u"1:4"_s << u"p:x"_s
        << u"1:25"_s;
    QTest::newRow("namespace declaration") << QByteArray("<r><p:a xmlns:p='urn:p' p:x='1'/></r>")
                                           << u"p:a"_s << u"1:4"_s << u"xmlns:p"_s << u"1:9"_s;
    QTest::newRow("default namespace declared on a later line, after another")
        << QByteArray(
               "<r>\n<a xmlns:xml='http://www.w3.org/XML/1998/namespace'\n  xmlns='urn:d'/></r>")
        << u"a"_s << u"2:1"_s << u"xmlns"_s << u"3:3"_s;
    QTest::newRow("namespace declared by the DTD: the element")
        << QByteArray("<!DOCTYPE r [<!ATTLIST a xmlns:q CDATA #FIXED 'urn:q'>]><r>\n <a/></r>")
        << u"a"_s << u"2:2"_s << u"xmlns:q"_s << u"2:2"_s;
    QTest::newRow("tabs") << QByteArray("<r>\t\t<a\tx='1'/></r>") << u"a"_s << u"1:6"_s << u"x"_s
                          << u"1:9"_s;
    QTest::newRow("CR LF") << QByteArray("<r>\r\n\r\n  <a x='1'/>\r\n</r>") << u"a"_s << u"3:3"_s
                           << u"x"_s << u"3:6"_s;
    QTest::newRow("UTF-8 text before the tag")
        << QByteArray("<r>\xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80<a x='\xc3\xa4'/></r>") << u"a"_s
        << u"1:7"_s << u"x"_s << u"1:10"_s;
    QTest::newRow("UTF-8 byte-order mark")
        << QByteArray("\xef\xbb\xbf<r><a x='1'/></r>") << u"a"_s << u"1:4"_s << u"x"_s << u"1:7"_s;
    QTest::newRow("UTF-16 with non-ASCII text before the tag")
        << utf16(u"<?xml version='1.0' encoding='UTF-16'?>\n<r>\u00e4\u20ac<a x='1'/></r>"_s)
        << u"a"_s << u"2:6"_s << u"x"_s << u"2:9"_s;
    QTest::newRow("declared single-byte encoding, same line")
        << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xe4<a x='1'/></r>")
        << u"a"_s << u"1:48"_s << u"x"_s << u"1:51"_s;
    QTest::newRow("element in an entity: its reference")
        << QByteArray("<!DOCTYPE r [<!ENTITY e '\n\n<a x=\"1\"/>'>]>\n<r>\n  &e;</r>") << u"a"_s
        << u"5:3"_s << u"x"_s << u"5:3"_s;
    QTest::newRow("nested entities: the outermost reference")
        << QByteArray("<!DOCTYPE r [<!ENTITY i '<b y=\"2\"/>'><!ENTITY o '<a>&i;</a>'>]>\n"
                      "<r>&o;\n&o;</r>")
        << u"b"_s << u"2:4"_s << u"y"_s << u"2:4"_s;
    QTest::newRow("default from the DTD: the element")
        << QByteArray("<!DOCTYPE r [<!ATTLIST a d CDATA 'z'>]><r>\n <a/></r>") << u"a"_s << u"2:2"_s
        << u"d"_s << u"2:2"_s;
    QTest::newRow("attribute 300 lines below its tag's start")
        << "<r>\n<a w='0'" + QByteArray(300, '\n') + "\t x='1'/></r>" << u"a"_s << u"2:1"_s
        << u"x"_s << u"302:3"_s;
    QTest::newRow("after a comment longer than the parser's buffer")
        << "<r><!--" + QByteArray(100'000, '-').replace("--", "-a") + "--><a x='1'/></r>" << u"a"_s
        << u"1:100011"_s << u"x"_s << u"1:100014"_s;
    QTest::newRow("after a comment of more lines than the parser's buffer holds")
        << "<r><!--" + QByteArray("a\n").repeated(60'000) + "-->\t<a x='1'/></r>" << u"a"_s
        << u"60001:5"_s << u"x"_s << u"60001:8"_s;
    QTest::newRow("one long line of elements")
        << "<r>" + QByteArray("<b/>").repeated(50'000) + "<a x='1'/></r>" << u"a"_s << u"1:200004"_s
        << u"x"_s << u"1:200007"_s;
    QTest::newRow("after a long multi-line DTD")
        << "<!DOCTYPE r [" + QByteArray("<!-- \xc3\xa4 -->\n").repeated(5'000) + "]> <r/>" << u"r"_s
        << u"5001:4"_s << u"x"_s << u"0:0"_s;
    // Line ends and multi-byte characters at every place within the eight bytes counted at once.
    for (int shift = 0; shift < 9; ++shift)
        QTest::addRow("line ends and UTF-8 after %d two-byte characters", shift)
            << "<r>" + QByteArray("\xc3\xa9").repeated(shift) +
                   "\n\nab\xe2\x82\xac"
                   "cdefgh\xc3\xa9<a\n\t x='\xc3\xa9\xc3\xa9'  y='2'/></r>"
            << u"a"_s << u"3:11"_s << u"y"_s << u"4:11"_s;
}

void SourcePositionsTest::positions() {
    QFETCH(QByteArray, document);
    QFETCH(QString, element);
    QFETCH(QString, where);
    QFETCH(QString, attribute);
    QFETCH(QString, attributeWhere);
    const ScratchDir dir;
    XmlDocument doc;
    doc.LoadFromFile(dir.write(u"positions.xml"_s, document));
    const Node node = findElement(doc.DocumentNode(), element);
    QVERIFY(!node.isNull());
    QCOMPARE(shown(node.Position()), where);
    QCOMPARE(shown(node.AttributePosition(attribute)), attributeWhere);
}

void SourcePositionsTest::writtenAttributes() {
    // As written, in order, with their names' places; defaults and declarations left out.
    const ScratchDir dir;
    XmlDocument doc;
    doc.LoadFromFile(dir.write(u"written.xml"_s,
                               "<!DOCTYPE r [<!ATTLIST f d CDATA 'z'>]>\n"
                               "<r><f X='1' xmlns:p='urn:p'\n  x='&#50;' p:b=''/></r>"));
    const Node frame = findElement(doc.DocumentNode(), u"f"_s);
    QStringList written;
    for (const lyremap::WrittenAttribute& attribute : frame.WrittenAttributes())
        written << attribute.name + u'=' + attribute.value + u'@' + shown(attribute.position);
    QCOMPARE(written, (QStringList{u"X=1@2:7"_s, u"x=2@3:3"_s, u"p:b=@3:13"_s}));
    QCOMPARE(frame.AttributeValue(u"d"_s), std::optional<QString>(u"z"_s));
}

void SourcePositionsTest::lineIndex_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("piece"); // bytes counted at a time

    const QByteArray mixed = "ab\xc3\xa9\n\tx\xe2\x82\xac\r\ny\xf0\x9f\x98\x80z\n\n";
    QTest::newRow("ASCII, whole") << QByteArray("<r>\n  <a x='1'/>\n</r>\n").repeated(40)
                                  << 100'000;
    for (const int piece : {1, 7, 16, 61, 1000})
        QTest::addRow("mixed, %d bytes at a time", piece) << mixed.repeated(50) << piece;
    // Continuation bytes on both sides of every 64-byte boundary, and far from the first one.
    QTest::newRow("across words") << QByteArray(60, 'a') + QByteArray("\xc3\xa9").repeated(40) +
                                         QByteArray(5000, 'b') + "\xe2\x82\xac\n" + mixed
                                  << 16;
    QTest::newRow("one long line") << QByteArray("\xc3\xa9").repeated(3000) + "<a/>" << 333;
}

void SourcePositionsTest::lineIndex() {
    QFETCH(QByteArray, text);
    QFETCH(int, piece);
    lyremap::detail::LineIndex index;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.constData());
    for (qsizetype at = 0; at < text.size(); at += piece) {
        const qsizetype end = std::min<qsizetype>(at + piece, text.size());
        index.count(bytes + at, bytes + end, std::uint64_t(at));
    }
    // Every offset against a plain count, asked in order and then backwards.
    QList<SourcePosition> expected;
    int line = 1;
    int column = 1;
    for (const char c : text) {
        expected.append(SourcePosition{line, column});
        if (c == '\n') {
            ++line;
            column = 1;
        } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++column;
        }
    }
    const auto at = [&index](qsizetype offset) {
        const auto position = index.positionOf(std::uint64_t(offset));
        return SourcePosition{int(position.line), int(position.column)};
    };
    for (qsizetype offset = 0; offset < text.size(); ++offset)
        QCOMPARE(shown(at(offset)), shown(expected[offset]));
    for (qsizetype offset = text.size(); offset-- > 0;)
        QCOMPARE(shown(at(offset)), shown(expected[offset]));
}

QTEST_GUILESS_MAIN(SourcePositionsTest)
#include "tst_SourcePositions.moc"
