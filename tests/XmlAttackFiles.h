// Small hostile XML files for the loader's tests, written by the tests themselves: entity
// expansion bombs and loops, external entities and DTDs named by URL and by file, a DTD on its
// own and documents that name one beside them, and plain documents for comparison.
#pragma once

#include "TestSupport.h"

#include <QByteArray>
#include <QString>
#include <utility>
#include <vector>

namespace lyremap::test {

// Each file's name and bytes.
inline const std::vector<std::pair<QString, QByteArray>>& xmlAttackFiles() {
    static const std::vector<std::pair<QString, QByteArray>> files = [] {
        // Nested entities: each level refers eight times to the one below, over ten characters.
        QByteArray nested = "<!DOCTYPE nest [\n<!ENTITY e0 \"0123456789\">\n";
        for (int level = 1; level <= 3; ++level)
            nested += "<!ENTITY e" + QByteArray::number(level) + " \"" +
                      QByteArray("&e" + QByteArray::number(level - 1) + ';').repeated(8) + "\">\n";
        // One entity of 100,000 characters, referred to 1000 times.
        const QByteArray quadratic = "<!DOCTYPE bomb [\n<!ENTITY a \"" + QByteArray(100'000, 'Q') +
                                     "\">\n]>\n<bomb>" + QByteArray("&a;").repeated(1000) +
                                     "</bomb>\n";
        const QByteArray plainBody = "  <item key='value'>one</item>\n  <item>two</item>after\n"
                                     "  <empty/>\n</root>\n";
        return std::vector<std::pair<QString, QByteArray>>{
            {QStringLiteral("cyclic.xml"), "<!DOCTYPE loop [\n<!ENTITY ping \"ping &pong;\">\n"
                                           "<!ENTITY pong \"pong &ping;\">\n]>\n"
                                           "<loop>&ping;</loop>\n"},
            {QStringLiteral("dtd.xml"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\"\n"
             "  \"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\n"
             "<html><head><title>Karte</title></head><body><p>Text</p></body></html>\n"},
            {QStringLiteral("external.xml"),
             "<!DOCTYPE external [\n"
             "<!ENTITY ee SYSTEM \"http://example.com/layouts/note.xml\">\n]>\n"
             "<root>&ee;</root>\n"},
            {QStringLiteral("external_file.xml"),
             "<!DOCTYPE external [\n"
             "<!ENTITY ee SYSTEM \"file:///nonexistent/lyremap-attacks/simple.xml\">\n]>\n"
             "<root>&ee;</root>\n"},
            {QStringLiteral("catalogue.dtd"),
             "<!ELEMENT catalogue (entry)*>\n<!ATTLIST catalogue edition CDATA #REQUIRED>\n"
             "<!ELEMENT entry (#PCDATA|p)*>\n<!ATTLIST entry id ID #REQUIRED>\n"
             "<!ELEMENT p (#PCDATA)>\n<!ATTLIST p xml:space (default|preserve) \"preserve\">\n"},
            {QStringLiteral("catalogue.xml"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<!DOCTYPE catalogue SYSTEM \"catalogue.dtd\">\n<catalogue edition=\"2\">\n"
             "  <entry id=\"e-17\">\n    <p></p>\n  </entry>\n</catalogue>\n"},
            // Its internal subset declares a content model without the parentheses it needs.
            {QStringLiteral("catalogue-inline.xml"),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<!DOCTYPE catalogue SYSTEM \"catalogue.dtd\" [\n<!ELEMENT title #PCDATA>\n]>\n"
             "<catalogue edition=\"2\"/>\n"},
            {QStringLiteral("quadratic.xml"), quadratic},
            {QStringLiteral("simple-ns.xml"), "<?note version=\"1\"?>\n<!-- before the root -->\n"
                                              "<root xmlns='namespace'>\n" +
                                                  plainBody},
            {QStringLiteral("simple.xml"), "<!-- before the root -->\n<root>\n" + plainBody},
            {QStringLiteral("xmlbomb.xml"), nested + "]>\n<bomb>&e2;</bomb>\n"},
            {QStringLiteral("xmlbomb2.xml"), "<!DOCTYPE one [\n<!ENTITY a \"0123456789\">\n]>\n"
                                             "<root>text<bomb>&a;</bomb><tag/></root>\n"},
        };
    }();
    return files;
}

// The bytes of the file NAME.
inline QByteArray xmlAttackFile(const QString& name) {
    for (const auto& [fileName, bytes] : xmlAttackFiles())
        if (fileName == name)
            return bytes;
    qFatal("no attack file %s", qPrintable(name));
}

// A folder holding all of them, written once per test process and removed at its end.
inline QString xmlAttackDir() {
    static const ScratchDir dir;
    static const bool written = [] {
        for (const auto& [name, bytes] : xmlAttackFiles())
            dir.write(name, bytes);
        return true;
    }();
    Q_UNUSED(written);
    return QDir::cleanPath(dir.path(QStringLiteral(".")));
}

} // namespace lyremap::test
