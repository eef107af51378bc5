// The reference the compact tree is held to: libxml2's own tree of a file, parsed with the
// loader's settings, seen the way the DOM sees it (an entity reference's children are the
// entity's parsed content, white-space-only text is no child), and the widget walk done on it.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

struct _xmlNode;

namespace lyremap::test {

// What a dump line says about one node, read from either tree.
struct NodeFacts {
    int type = 0;
    QString name, localName, namespaceUri;
    QStringList attributes; // "name=value" for each asked-for name that is present
    int children = 0;
    QString line(int depth) const;
};

// Attribute-like names written in BYTES (NAME= and the xmlns forms), which are asked of every
// element: the document layer has no way to list an element's attributes.
QStringList attributeNamesIn(const QByteArray& bytes);

// libxml2's tree of PATH, or the reason libxml2 refused it.
class LibxmlReference {
public:
    explicit LibxmlReference(const QString& path);
    ~LibxmlReference();
    LibxmlReference(const LibxmlReference&) = delete;
    LibxmlReference& operator=(const LibxmlReference&) = delete;

    // The first error that refuses the document, empty when it loaded.
    const QString& refusal() const { return refusal_; }
    // One line per node below the document node (NodeFacts::line), asking each element for
    // the attributes NAMES, then "root: NAME" for the top-level widget_description.
    QStringList dump(const QStringList& names) const;
    // What the widget walk draws, as RecordingTarget records it, ending with STATUS.
    QStringList drawing(const QLocale& locale, const QString& status) const;

private:
    void* doc_ = nullptr;
    QString refusal_;
};

} // namespace lyremap::test
