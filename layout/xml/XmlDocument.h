// The one loaded layout document and handles on its nodes.
//
// XmlDocument loads a file (closing the previous document first), remembers the path it was
// asked to load even when loading fails, and finds a top-level element by name. Node is a
// shared handle: every copy keeps the parsed document alive for as long as it is held, also
// after the document is closed (the handles inside child lists and cursors are the document's
// own and borrow it). A node's child list (all kinds of child, white-space-only text left out)
// is built on first request and reused, so repeated requests return the same handles;
// ChildCursor visits the children without building it. An entity's content is held once and
// shared by every reference to it; a handle reached through a reference knows which one, and
// places its node there. Like the document, handles belong to one thread at a time.
#pragma once

#include "layout/xml/DocumentErrors.h"

#include <QList>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lyremap {

namespace detail {
struct LoadedDocument;
}

// Node kinds, numbered as the DOM numbers them.
enum class NodeType {
    Element = 1,
    Attribute = 2,
    Text = 3,
    CDataSection = 4,
    EntityReference = 5,
    Entity = 6,
    ProcessingInstruction = 7,
    Comment = 8,
    Document = 9,
    DocumentType = 10,
    DocumentFragment = 11,
    Notation = 12,
};

// A place in the file: 1-based line (CR LF is one line end) and 1-based column counting
// characters as an editor shows them (a tab or a multi-byte character is one); 0 for none.
struct SourcePosition {
    int line = 0;
    int column = 0;
    friend bool operator==(const SourcePosition&, const SourcePosition&) = default;
};

// An attribute as written in the file on an element.
struct WrittenAttribute {
    QString name;  // qualified name
    QString value; // references replaced
    SourcePosition position;
};

class NodeList;
class AttributeSet;

class Node {
public:
    // A null handle; every question on it but isNull() is a programming error.
    Node() = default;
    Node(const Node& other);
    Node& operator=(const Node& other);
    Node(Node&& other) noexcept = default;
    Node& operator=(Node&& other) noexcept = default;
    ~Node();

    bool isNull() const { return doc_ == nullptr; }
    // The node's kind.
    NodeType nodeType() const;
    // True when the node has at least one child of any kind.
    bool HasChildNodes() const;
    // The node's children in document order, built once and reused.
    const NodeList& ChildNodes() const;
    // The DOM name: qualified name of an element, target of a processing instruction, name of
    // a document type or entity reference, else "#text", "#comment", "#cdata-section",
    // "#document".
    QString NodeName() const;
    // NodeName in UTF-8, without copying; valid while the document is held.
    std::string_view NodeNameUtf8() const;
    // The local name (the name without its prefix) of an element, else NodeName.
    QString LocalName() const;
    // The namespace URI of an element, empty when it has none.
    QString NamespaceURI() const;
    // The value of the attribute whose qualified name is exactly NAME, empty text for an empty
    // value; nullopt when there is no such attribute or the node is no element. Namespace
    // declarations and defaults from the file's DTD count as attributes.
    std::optional<QString> AttributeValue(QStringView name) const;
    // AttributeValue in UTF-8 for every name of NAMES at once, in one pass over the element's
    // attributes; VALUES has one entry per name. Views stay valid while the document is held.
    void ReadAttributes(const AttributeSet& names,
                        std::span<std::optional<std::string_view>> values) const;

    // Where the node starts in the file: an element's '<', an entity reference's '&'. A node
    // inside an entity's content is placed at the reference in the document's own content
    // that it was reached through (the outermost one). None for other kinds.
    SourcePosition Position() const;
    // Where the attribute NAME of this element is written: its name's first character. One
    // that the DTD supplies, a namespace declaration and any attribute of a node placed at a
    // reference are placed at the element's Position(). None when there is no such attribute.
    SourcePosition AttributePosition(QStringView name) const;
    // The attributes written on this element in document order, namespace declarations and
    // DTD defaults left out; empty for other kinds.
    QList<WrittenAttribute> WrittenAttributes() const;
    // The attributes of WrittenAttributes() whose names have no namespace prefix, in document
    // order, appended to ATTRIBUTES without copying: each name as NUL-terminated UTF-8, which
    // is the same pointer for every attribute of that name in the document, and its value in
    // UTF-8. Valid while the document is held.
    void UnprefixedAttributesUtf8(
        std::vector<std::pair<const char*, std::string_view>>& attributes) const;
    // Appends to UNPREFIXED the names without a prefix among the distinct attribute names
    // written in this node's document, from number FROM on, as UnprefixedAttributesUtf8 gives
    // them; returns how many names the document has: pass it as FROM to see only names added
    // since, as a document still being loaded gains them. A document has few, however large.
    std::uint32_t DocumentAttributeNamesUtf8(std::uint32_t from,
                                             std::vector<const char*>& unprefixed) const;

    // A number that equal handles of one load share and other handles of it do not, for
    // keeping sets of nodes.
    std::uint64_t key() const { return (std::uint64_t{via_} << 32) | index_; }

    // Two handles are equal when they are handles on the same node of the same load, reached
    // through the same entity reference.
    friend bool operator==(const Node& a, const Node& b) {
        return a.doc_ == b.doc_ && a.index_ == b.index_ && a.via_ == b.via_;
    }

private:
    friend class XmlDocument;
    friend class ChildCursor;
    friend struct detail::LoadedDocument;
    static constexpr std::uint32_t kNowhere = 0xFFFFFFFFu;
    // A borrowed handle, as held inside child lists and cursors: it does not own the document.
    Node(detail::LoadedDocument* doc, std::uint32_t index, std::uint32_t via)
        : doc_(doc), index_(index), via_(via) {}
    // The handle on the child INDEX of this node.
    Node child(std::uint32_t index) const;

    // Shares ownership of the document; null for borrowed handles.
    std::shared_ptr<detail::LoadedDocument> owner_;
    detail::LoadedDocument* doc_ = nullptr;
    std::uint32_t index_ = 0;
    // The outermost entity reference this handle was reached through, kNowhere for none.
    std::uint32_t via_ = kNowhere;
};

class NodeList {
public:
    // Number of children.
    int Count() const { return count_; }
    // The child at INDEX; EListError outside 0 to Count() - 1.
    const Node& Item(int index) const;

private:
    friend struct detail::LoadedDocument;
    const Node* items_ = nullptr; // owned by the document, as the list is
    int count_ = 0;
};

// Visits a node's children in document order without building its child list. The handle it
// shows borrows the document: copy it to keep it, and keep the parent for as long as the
// cursor is used.
class ChildCursor {
public:
    explicit ChildCursor(const Node& parent);
    bool atEnd() const { return current_.isNull(); }
    // The current child.
    const Node& node() const { return current_; }
    // Moves to the next child.
    void next();

private:
    Node current_;
};

// Attribute names read together from many elements (see Node::ReadAttributes). It learns what
// the names are in each document it is used with, so that reading costs no lookup of them.
class AttributeSet {
public:
    explicit AttributeSet(std::initializer_list<std::string_view> names);
    ~AttributeSet();
    AttributeSet(const AttributeSet&) = delete;
    AttributeSet& operator=(const AttributeSet&) = delete;

    std::size_t size() const { return names_.size(); }
    // The qualified name at INDEX.
    const std::string& name(std::size_t index) const { return names_[index]; }

private:
    friend class Node;
    struct Learnt;
    std::vector<std::string> names_;
    mutable std::unique_ptr<Learnt> learnt_;
};

class XmlDocument {
public:
    XmlDocument();

    // True while a parsed document is held.
    bool Active() const { return bool(document_); }
    // The path given to the last load that named one; empty at start.
    const QString& FileName() const { return fileName_; }

    // Drops the document and every node list; FileName stays. Nothing when none is held.
    void Close();
    // Called on the loading thread with a handle on the root element as soon as its start tag
    // is read, for reading the document on another thread while it loads. Its children are
    // there to read as the parse goes on: reading a link that the parse has not reached yet
    // waits for it, and throws once a failed load will never reach it. Only for
    // files of 64 KiB or more whose DTD declares neither entities nor attributes; others load
    // first. It must not throw.
    using RootReader = std::function<void(const Node& root)>;

    // Closes, takes PATH as FileName unless it is empty, and parses FileName, telling ONROOT
    // of the root element when given. EXMLDocError when there is no file name;
    // EDOMParseError when the file cannot be loaded.
    void LoadFromFile(const QString& path, const RootReader& onRoot = {});
    // The document node; EXMLDocError when no document is held.
    Node DocumentNode() const;
    // The first top-level element whose qualified or local name is NAME.
    // EXMLDocError when no document is held, EOleException when there is no such element.
    Node FindTopLevelNode(const QString& name) const;

private:
    QString fileName_;
    std::shared_ptr<detail::LoadedDocument> document_;
    Node documentNode_;
};

} // namespace lyremap
