// What the document access tests share: the texts of parse failures, files in UTF-16, and
// documents with a node of every kind and with attributes of every sort.
#pragma once

#include "layout/xml/XmlDocument.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace lyremap::test {

using namespace Qt::StringLiterals;

inline const QString kCrLf = u"\r\n"_s;

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

inline QString parseMessage(const QString& reason, int line, const QString& srcText) {
    return reason + kCrLf + u"Linie: "_s + QString::number(line) + kCrLf + srcText;
}

// UTF-16 with a byte-order mark, in the given byte order.
inline QByteArray utf16(const QString& text, bool bigEndian = false) {
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

inline QString repeated(const QString& piece, int count) {
    return piece.repeated(count);
}

inline const QString kEmoji = u"\U0001F600"_s; // outside the BMP: two UTF-16 code units
inline const QString kLongRun = repeated(u"abcdefghij"_s, 10'000);

// The node reached from FROM by a path of child indexes such as "3/5/0"; the empty path is FROM.
inline Node nodeAt(const lyremap::Node& from, const QString& path) {
    lyremap::Node node = from;
    for (const QString& step : path.split(u'/', Qt::SkipEmptyParts))
        node = node.ChildNodes().Item(step.toInt());
    return node;
}

inline QStringList childNames(const lyremap::Node& node) {
    QStringList names;
    const lyremap::NodeList& children = node.ChildNodes();
    for (int i = 0; i < children.Count(); ++i)
        names << children.Item(i).NodeName();
    return names;
}

// A document that has a node of every kind the loader keeps:
// document
//   0 pi "before"  1 #comment  2 DOCTYPE r  3 element r (children below)  4 #comment
// r: 0 p:w  1 #text  2 #cdata-section  3 #comment  4 pi "target"  5 &e; (b, #text)  6 x
inline const QByteArray kEveryKind = R"(<?before data?>
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
inline const QByteArray kAttributes =
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

} // namespace lyremap::test
