#include "layout/XmlDocument.h"

#include "layout/DocumentChecks.h"
#include "layout/XmlParse.h"

#include <QByteArray>
#include <libxml/entities.h>
#include <libxml/tree.h>
#include <libxml/valid.h>

namespace lyremap {

namespace detail {

// A parsed document, shared by the XmlDocument holding it and every node handle on it.
struct LoadedDocument {
    XmlDocPtr doc;
};

struct NodeData {
    std::shared_ptr<LoadedDocument> owner;
    xmlNode* node = nullptr;
    mutable std::unique_ptr<NodeList> children;

    const NodeList& childList() const;
};

} // namespace detail

namespace {

using detail::NodeData;

QString fromXml(const xmlChar* text) {
    return text != nullptr ? QString::fromUtf8(reinterpret_cast<const char*>(text)) : QString();
}

// The first of a node's children as the DOM sees them. An entity reference's children are
// those of the entity it names; a document type has none (its declarations are no children).
xmlNode* firstChild(const xmlNode* node) {
    switch (node->type) {
    case XML_ENTITY_REF_NODE: {
        const auto* entity = reinterpret_cast<const xmlEntity*>(node->children);
        return entity != nullptr ? entity->children : nullptr;
    }
    case XML_DTD_NODE:
    case XML_DOCUMENT_TYPE_NODE:
    case XML_ATTRIBUTE_NODE:
        return nullptr;
    default:
        return node->children;
    }
}

bool isWhiteSpaceOnly(const xmlNode* node) {
    if (node->type != XML_TEXT_NODE || node->content == nullptr)
        return false;
    for (const xmlChar* c = node->content; *c != 0; ++c)
        if (*c != ' ' && *c != '\t' && *c != '\n' && *c != '\r')
            return false;
    return true;
}

// Node kinds the DOM knows; libxml2's declaration nodes are never children in it.
bool isDomNode(const xmlNode* node) {
    switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_ENTITY_REF_NODE:
    case XML_PI_NODE:
    case XML_COMMENT_NODE:
    case XML_DTD_NODE:
    case XML_DOCUMENT_TYPE_NODE:
        return true;
    default:
        return false;
    }
}

const xmlChar* prefixOf(const xmlNode* node) {
    if ((node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE) && node->ns != nullptr)
        return node->ns->prefix;
    return nullptr;
}

QString qualifiedName(const xmlNode* node) {
    const xmlChar* prefix = prefixOf(node);
    if (prefix == nullptr)
        return fromXml(node->name);
    return fromXml(prefix) + u':' + fromXml(node->name);
}

// True when the qualified name PREFIX:LOCAL (or LOCAL without prefix) is NAME.
bool qualifiedNameIs(const xmlChar* prefix, const xmlChar* local, QByteArrayView name) {
    const auto view = [](const xmlChar* text) {
        return QByteArrayView(reinterpret_cast<const char*>(text));
    };
    if (local == nullptr)
        return false;
    if (prefix == nullptr)
        return name == view(local);
    const QByteArrayView p = view(prefix);
    return name.startsWith(p) && name.sliced(p.size()).startsWith(':') &&
           name.sliced(p.size() + 1) == view(local);
}

// The default that the document's own DTD declares for attribute NAME of ELEMENT, if any.
// Only the internal subset is ever parsed, so no declaration from outside the file applies.
std::optional<QString> declaredDefault(const xmlNode* element, const QByteArray& name) {
    const xmlDtd* dtd = element->doc != nullptr ? element->doc->intSubset : nullptr;
    if (dtd == nullptr || dtd->attributes == nullptr || name.contains('\0'))
        return std::nullopt;
    QByteArray elementName = reinterpret_cast<const char*>(element->name);
    if (const xmlChar* prefix = prefixOf(element))
        elementName = reinterpret_cast<const char*>(prefix) + (':' + elementName);
    const qsizetype colon = name.indexOf(':');
    const QByteArray local = colon < 0 ? name : name.mid(colon + 1);
    const QByteArray prefix = colon < 0 ? QByteArray() : name.left(colon);
    const auto text = [](const QByteArray& bytes) {
        return reinterpret_cast<const xmlChar*>(bytes.constData());
    };
    const xmlAttribute* declaration =
        xmlGetDtdQAttrDesc(const_cast<xmlDtd*>(dtd), text(elementName), text(local),
                           colon < 0 ? nullptr : text(prefix));
    if (declaration == nullptr || declaration->defaultValue == nullptr ||
        declaration->def == XML_ATTRIBUTE_REQUIRED || declaration->def == XML_ATTRIBUTE_IMPLIED)
        return std::nullopt;
    return fromXml(declaration->defaultValue);
}

struct XmlFree {
    void operator()(xmlChar* text) const noexcept { xmlFree(text); }
};

} // namespace

const NodeList& detail::NodeData::childList() const {
    if (!children) {
        auto list = std::make_unique<NodeList>();
        for (xmlNode* child = firstChild(node); child != nullptr; child = child->next) {
            if (!isDomNode(child) || isWhiteSpaceOnly(child))
                continue;
            list->items_.push_back(Node(std::make_shared<NodeData>(NodeData{owner, child, {}})));
        }
        children = std::move(list);
    }
    return *children;
}

const Node& NodeList::Item(int index) const {
    if (index < 0 || index >= Count())
        throw EListError(index);
    return items_[static_cast<std::size_t>(index)];
}

NodeType Node::nodeType() const {
    switch (d_->node->type) {
    case XML_ELEMENT_NODE:
        return NodeType::Element;
    case XML_ATTRIBUTE_NODE:
        return NodeType::Attribute;
    case XML_CDATA_SECTION_NODE:
        return NodeType::CDataSection;
    case XML_ENTITY_REF_NODE:
        return NodeType::EntityReference;
    case XML_ENTITY_NODE:
    case XML_ENTITY_DECL:
        return NodeType::Entity;
    case XML_PI_NODE:
        return NodeType::ProcessingInstruction;
    case XML_COMMENT_NODE:
        return NodeType::Comment;
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
        return NodeType::Document;
    case XML_DTD_NODE:
    case XML_DOCUMENT_TYPE_NODE:
        return NodeType::DocumentType;
    case XML_DOCUMENT_FRAG_NODE:
        return NodeType::DocumentFragment;
    case XML_NOTATION_NODE:
        return NodeType::Notation;
    default:
        return NodeType::Text;
    }
}

bool Node::HasChildNodes() const {
    return d_->childList().Count() > 0;
}

const NodeList& Node::ChildNodes() const {
    return d_->childList();
}

QString Node::NodeName() const {
    switch (nodeType()) {
    case NodeType::Text:
        return QStringLiteral("#text");
    case NodeType::CDataSection:
        return QStringLiteral("#cdata-section");
    case NodeType::Comment:
        return QStringLiteral("#comment");
    case NodeType::Document:
        return QStringLiteral("#document");
    case NodeType::DocumentFragment:
        return QStringLiteral("#document-fragment");
    default:
        return qualifiedName(d_->node);
    }
}

QString Node::LocalName() const {
    const auto type = nodeType();
    if (type == NodeType::Element || type == NodeType::Attribute)
        return fromXml(d_->node->name);
    return NodeName();
}

QString Node::NamespaceURI() const {
    const auto type = nodeType();
    if ((type == NodeType::Element || type == NodeType::Attribute) && d_->node->ns != nullptr)
        return QString::fromUtf8(expandedNamespaceName(d_->node->doc, d_->node->ns->href));
    return QString();
}

std::optional<QString> Node::AttributeValue(QStringView name) const {
    const xmlNode* node = d_->node;
    if (node->type != XML_ELEMENT_NODE)
        return std::nullopt;
    const QByteArray wanted = name.toUtf8();
    for (xmlAttr* attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
        const xmlChar* prefix = attribute->ns != nullptr ? attribute->ns->prefix : nullptr;
        if (!qualifiedNameIs(prefix, attribute->name, wanted))
            continue;
        const std::unique_ptr<xmlChar, XmlFree> value(
            xmlNodeGetContent(reinterpret_cast<xmlNode*>(attribute)));
        return fromXml(value.get());
    }
    // Namespace declarations are attributes in the DOM; libxml2 keeps them apart.
    static const xmlChar xmlns[] = "xmlns";
    for (const xmlNs* ns = node->nsDef; ns != nullptr; ns = ns->next) {
        const bool match = ns->prefix == nullptr ? qualifiedNameIs(nullptr, xmlns, wanted)
                                                 : qualifiedNameIs(xmlns, ns->prefix, wanted);
        if (match)
            return QString::fromUtf8(expandedNamespaceName(node->doc, ns->href));
    }
    // An attribute the element does not carry may still have a default in the file's DTD,
    // which a non-validating reader applies just as if it had been written out.
    return declaredDefault(node, wanted);
}

XmlDocument::XmlDocument() {
    ensureXmlInitialised();
}

void XmlDocument::Close() {
    documentNode_ = Node();
    document_.reset();
}

void XmlDocument::LoadFromFile(const QString& path) {
    Close();
    if (!path.isEmpty() && path != fileName_)
        fileName_ = path;
    if (fileName_.isEmpty())
        throw EXMLDocError(QString::fromUtf16(kFileNameRequired));
    auto loaded = std::make_shared<detail::LoadedDocument>();
    loaded->doc = parseLayoutFile(fileName_);
    auto* root = reinterpret_cast<xmlNode*>(loaded->doc.get());
    documentNode_ = Node(std::make_shared<NodeData>(NodeData{loaded, root, {}}));
    document_ = std::move(loaded);
}

Node XmlDocument::DocumentNode() const {
    if (!document_)
        throw EXMLDocError(QString::fromUtf16(kNoActiveDocument));
    return documentNode_;
}

Node XmlDocument::FindTopLevelNode(const QString& name) const {
    const NodeList& children = DocumentNode().ChildNodes();
    // Only elements count: a document type or a processing instruction of the same name comes
    // before the root element and would otherwise hide it.
    for (int i = 0; i < children.Count(); ++i) {
        const Node& child = children.Item(i);
        if (child.nodeType() == NodeType::Element &&
            (child.NodeName() == name || child.LocalName() == name))
            return child;
    }
    throw EOleException(
        kErrorFail,
        QStringLiteral("Das Dokument hat kein Element %1 auf oberster Ebene").arg(name));
}

} // namespace lyremap
