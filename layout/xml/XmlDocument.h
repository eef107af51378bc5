// The one loaded layout document and handles on its nodes.
//
// XmlDocument loads a file (closing the previous document first), remembers the path it was
// asked to load even when loading fails, and finds a top-level element by name. Node is a
// shared handle: every copy keeps the parsed document alive for as long as it is held, also
// after the document is closed (the handles inside child lists are the document's own). A
// node's child list (all kinds of child, white-space-only text left out) is built on first
// request and reused, so repeated requests return the same handles. Like the document, handles
// and prepared attribute names belong to one thread at a time.
#pragma once

#include "layout/xml/DocumentErrors.h"

#include <QString>
#include <QStringView>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct _xmlNode;

namespace lyremap {

namespace detail {
struct LoadedDocument;
struct CompactTree;
} // namespace detail

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

class Node;
class NodeList;

namespace detail {
// Where a node lies in a compact tree, for readers that walk the tree directly.
struct CompactPosition {
    const CompactTree* tree = nullptr;
    std::uint32_t index = 0;
    std::uint64_t load = 0; // tells loads apart, also one at the address of an earlier one
    // No DTD of the file declares attributes: an element's attributes are the ones it carries.
    bool attributesAsWritten = false;
};
// NODE's place in its document's compact tree; nothing when libxml2's tree holds NODE.
std::optional<CompactPosition> compactPosition(const Node& node);
} // namespace detail

// An attribute name prepared for asking many nodes: it remembers what the name is in the last
// loaded document it was used with, so that asking again costs no lookup of the name.
class AttributeKey {
public:
    explicit AttributeKey(std::string_view name) : name_(name) {}
    // The qualified name.
    std::string_view name() const { return name_; }

private:
    friend class Node;
    std::string name_;
    mutable std::uint64_t load_ = 0; // the load it was last used with, 0 for none
    mutable std::optional<std::uint32_t> number_;
};

// An attribute's value as the document holds it, read without copying (see Node::AttributeUtf8).
struct AttributeText {
    enum class State {
        Absent,  // the element has no such attribute
        Text,    // the attribute is present with the UTF-8 value in text
        Unknown, // not answerable this way: ask AttributeValue
    };
    State state = State::Unknown;
    std::string_view text;
};

// How a load builds the document in memory. Both give the same nodes, names and values.
enum class TreeBuilding {
    Compact, // the layer's own compact tree (libxml2's tree where the file declares entities)
    Libxml,  // libxml2's tree throughout, as a reference to compare the compact tree with
};

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
    // The DOM name: qualified name of an element or attribute, target of a processing
    // instruction, name of a document type or entity reference, else "#text", "#comment",
    // "#cdata-section", "#document".
    QString NodeName() const;
    // The local name (the name without its prefix) of an element or attribute, else NodeName.
    QString LocalName() const;
    // The namespace URI of an element or attribute, empty when it has none.
    QString NamespaceURI() const;
    // The value of the attribute whose qualified name is exactly NAME, empty text for an empty
    // value; nullopt when there is no such attribute or the node is no element.
    std::optional<QString> AttributeValue(QStringView name) const;

    // Whether NodeName() passes nameTest for WORD; costs no allocation for ASCII names.
    bool NameMatches(QStringView word) const;
    // The attribute whose qualified name is exactly NAME, without allocating: Absent or Text
    // where that is the whole answer, Unknown where AttributeValue must be asked (values that
    // a DTD default or a namespace declaration may supply, documents held by libxml2).
    AttributeText AttributeUtf8(std::string_view name) const;
    // The same for a prepared name.
    AttributeText AttributeUtf8(const AttributeKey& key) const;

    // Two handles are equal when they are handles on the same node of the same load.
    friend bool operator==(const Node& a, const Node& b) {
        return a.doc_ == b.doc_ && a.xml_ == b.xml_ && a.index_ == b.index_;
    }

private:
    friend class XmlDocument;
    friend struct detail::LoadedDocument;
    friend std::optional<detail::CompactPosition> detail::compactPosition(const Node& node);
    // AttributeUtf8 for a compact element, given the number of NAME where it has no prefix.
    AttributeText compactAttribute(std::string_view name,
                                   const std::optional<std::uint32_t>& number) const;
    // A handle inside a child list, which the document owns: it does not own the document.
    Node(detail::LoadedDocument* doc, const _xmlNode* xml, std::uint32_t index)
        : doc_(doc), xml_(xml), index_(index) {}

    // Shares ownership of the document; null only for handles inside child lists.
    std::shared_ptr<detail::LoadedDocument> owner_;
    detail::LoadedDocument* doc_ = nullptr;
    const _xmlNode* xml_ = nullptr; // a node of libxml2's tree, or null for a compact node
    std::uint32_t index_ = 0;       // the compact node's index when xml_ is null
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

class XmlDocument {
public:
    XmlDocument() : XmlDocument(TreeBuilding::Compact) {}
    // A document whose loads build their tree as BUILDING says.
    explicit XmlDocument(TreeBuilding building);

    // True while a parsed document is held.
    bool Active() const { return bool(document_); }
    // The path given to the last load that named one; empty at start.
    const QString& FileName() const { return fileName_; }

    // Drops the document and every node list; FileName stays. Nothing when none is held.
    void Close();
    // Closes, takes PATH as FileName unless it is empty, and parses FileName.
    // EXMLDocError when there is no file name; EDOMParseError when the file cannot be loaded.
    void LoadFromFile(const QString& path);
    // The document node; EXMLDocError when no document is held.
    Node DocumentNode() const;
    // The first top-level element whose qualified or local name is NAME.
    // EXMLDocError when no document is held, EOleException when there is no such element.
    Node FindTopLevelNode(const QString& name) const;

private:
    TreeBuilding building_;
    QString fileName_;
    std::shared_ptr<detail::LoadedDocument> document_;
    Node documentNode_;
};

} // namespace lyremap
