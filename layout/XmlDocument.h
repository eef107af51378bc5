// The one loaded layout document and handles on its nodes.
//
// XmlDocument loads a file (closing the previous document first), remembers the path it was
// asked to load even when loading fails, and finds a top-level element by name. Node is a
// shared handle: it keeps the parsed document alive for as long as it is held, also after the
// document is closed. A node's child list (all kinds of child, white-space-only text left out)
// is built on first request and reused, so repeated requests return the same handles.
#pragma once

#include "layout/DocumentErrors.h"

#include <QString>
#include <QStringView>
#include <memory>
#include <optional>
#include <vector>

namespace lyremap {

namespace detail {
struct LoadedDocument;
struct NodeData;
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

class NodeList;

class Node {
public:
    // A null handle; every question on it but isNull() is a programming error.
    Node() = default;

    bool isNull() const { return !d_; }
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

    // Two handles are equal when they are the same handle.
    friend bool operator==(const Node&, const Node&) = default;

private:
    friend class XmlDocument;
    friend struct detail::NodeData;
    explicit Node(std::shared_ptr<detail::NodeData> d) : d_(std::move(d)) {}

    std::shared_ptr<detail::NodeData> d_;
};

class NodeList {
public:
    // Number of children.
    int Count() const { return static_cast<int>(items_.size()); }
    // The child at INDEX; EListError outside 0 to Count() - 1.
    const Node& Item(int index) const;

private:
    friend struct detail::NodeData;
    std::vector<Node> items_;
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
    // Closes, takes PATH as FileName unless it is empty, and parses FileName.
    // EXMLDocError when there is no file name; EDOMParseError when the file cannot be loaded.
    void LoadFromFile(const QString& path);
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
