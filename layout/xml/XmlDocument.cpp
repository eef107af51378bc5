#include "layout/xml/XmlDocument.h"

#include "layout/Conversion.h"
#include "layout/xml/DocumentChecks.h"
#include "layout/xml/XmlParse.h"

#include <QByteArray>
#include <array>
#include <atomic>
#include <deque>
#include <libxml/dict.h>
#include <libxml/entities.h>
#include <libxml/tree.h>
#include <libxml/valid.h>
#include <string>
#include <unordered_map>

namespace lyremap {

namespace detail {

// A parsed document, shared by the XmlDocument holding it and every node handle outside it. It
// owns the child lists, whose handles point back at it without owning it.
struct LoadedDocument : std::enable_shared_from_this<LoadedDocument> {
    ParsedLayout parsed;
    // Tells loads apart for AttributeKey, also when one lands where an earlier one was.
    const std::uint64_t serial = nextSerial();
    std::deque<NodeList> lists;
    std::unordered_map<const xmlNode*, const NodeList*> libxmlLists;

    const CompactNode& compact(std::uint32_t index) const { return parsed.tree->nodes[index]; }
    const NodeList& childList(const Node& node);
    // The number the compact tree gives the attribute name NAME, which has no prefix; nothing
    // when no attribute in the document has that name.
    std::optional<std::uint32_t> attributeNumber(std::string_view name);

private:
    static std::uint64_t nextSerial() {
        static std::atomic<std::uint64_t> last{0};
        return ++last;
    }
    NodeList& newList() { return lists.emplace_back(); }
    // Room for COUNT handles in a row, kept until the document goes.
    Node* newItems(std::size_t count);

    // Handles of all child lists, in chunks: one allocation for many lists.
    static constexpr std::size_t kChunk = 16384;
    std::vector<std::unique_ptr<Node[]>> itemChunks_;
    Node* free_ = nullptr;
    std::size_t left_ = 0;

    // Names asked for lately, with their numbers.
    struct NumberSlot {
        bool used = false;
        std::string name;
        std::optional<std::uint32_t> number;
    };
    std::array<NumberSlot, 16> numbers_;
};

} // namespace detail

namespace {

using detail::CompactKind;
using detail::CompactNode;
using detail::kNoNode;

QString fromXml(const xmlChar* text) {
    return text != nullptr ? QString::fromUtf8(reinterpret_cast<const char*>(text)) : QString();
}

std::string_view viewOf(const xmlChar* text) {
    return text != nullptr ? std::string_view(reinterpret_cast<const char*>(text))
                           : std::string_view();
}

// The first of a node's children as the DOM sees them. An entity reference's children are
// those of the entity it names; a document type has none (its declarations are no children).
const xmlNode* firstChild(const xmlNode* node) {
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
bool qualifiedNameIs(const xmlChar* prefix, const xmlChar* local, std::string_view name) {
    if (local == nullptr)
        return false;
    if (prefix == nullptr)
        return name == viewOf(local);
    const std::string_view p = viewOf(prefix);
    return name.size() > p.size() && name.starts_with(p) && name[p.size()] == ':' &&
           name.substr(p.size() + 1) == viewOf(local);
}

std::string_view viewOf(const QByteArray& bytes) {
    return std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// The default that the document's own DTD declares for attribute NAME of the element with the
// qualified name ELEMENT, if any. Only the internal subset is ever parsed, so no declaration
// from outside the file applies.
std::optional<QString> declaredDefault(const xmlDoc* doc, const QByteArray& element,
                                       const QByteArray& name) {
    const xmlDtd* dtd = doc != nullptr ? doc->intSubset : nullptr;
    if (dtd == nullptr || dtd->attributes == nullptr || name.contains('\0'))
        return std::nullopt;
    const qsizetype colon = name.indexOf(':');
    const QByteArray local = colon < 0 ? name : name.mid(colon + 1);
    const QByteArray prefix = colon < 0 ? QByteArray() : name.left(colon);
    const auto text = [](const QByteArray& bytes) {
        return reinterpret_cast<const xmlChar*>(bytes.constData());
    };
    const xmlAttribute* declaration = xmlGetDtdQAttrDesc(
        const_cast<xmlDtd*>(dtd), text(element), text(local), colon < 0 ? nullptr : text(prefix));
    if (declaration == nullptr || declaration->defaultValue == nullptr ||
        declaration->def == XML_ATTRIBUTE_REQUIRED || declaration->def == XML_ATTRIBUTE_IMPLIED)
        return std::nullopt;
    return fromXml(declaration->defaultValue);
}

QByteArray elementName(const xmlNode* element) {
    QByteArray name = reinterpret_cast<const char*>(element->name);
    if (const xmlChar* prefix = prefixOf(element))
        name = reinterpret_cast<const char*>(prefix) + (':' + name);
    return name;
}

struct XmlFree {
    void operator()(xmlChar* text) const noexcept { xmlFree(text); }
};

// The value of namespace declaration attribute WANTED (xmlns or xmlns:PREFIX) among the
// declarations FIRST, as libxml2 keeps them.
template <typename Each>
std::optional<QString> declaredNamespace(const xmlDoc* doc, std::string_view wanted, Each each) {
    static const xmlChar xmlns[] = "xmlns";
    std::optional<QString> found;
    each([&](const xmlChar* prefix, const xmlChar* uri) {
        if (found)
            return;
        const bool match = prefix == nullptr ? qualifiedNameIs(nullptr, xmlns, wanted)
                                             : qualifiedNameIs(xmlns, prefix, wanted);
        if (match)
            found = QString::fromUtf8(expandedNamespaceName(doc, uri));
    });
    return found;
}

NodeType compactType(CompactKind kind) {
    switch (kind) {
    case CompactKind::Element:
        return NodeType::Element;
    case CompactKind::Text:
        return NodeType::Text;
    case CompactKind::CDataSection:
        return NodeType::CDataSection;
    case CompactKind::Comment:
        return NodeType::Comment;
    case CompactKind::ProcessingInstruction:
        return NodeType::ProcessingInstruction;
    case CompactKind::EntityReference:
        return NodeType::EntityReference;
    }
    return NodeType::Text;
}

NodeType libxmlType(const xmlNode* node) {
    switch (node->type) {
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

// The DOM's fixed name of a node kind that has no name of its own, else nullptr.
const char* fixedName(NodeType type) {
    switch (type) {
    case NodeType::Text:
        return "#text";
    case NodeType::CDataSection:
        return "#cdata-section";
    case NodeType::Comment:
        return "#comment";
    case NodeType::Document:
        return "#document";
    case NodeType::DocumentFragment:
        return "#document-fragment";
    default:
        return nullptr;
    }
}

} // namespace

Node* detail::LoadedDocument::newItems(std::size_t count) {
    if (count > left_) {
        if (count > kChunk / 4) {
            itemChunks_.push_back(std::make_unique<Node[]>(count));
            return itemChunks_.back().get();
        }
        itemChunks_.push_back(std::make_unique<Node[]>(kChunk));
        free_ = itemChunks_.back().get();
        left_ = kChunk;
    }
    Node* items = free_;
    free_ += count;
    left_ -= count;
    return items;
}

const NodeList& detail::LoadedDocument::childList(const Node& node) {
    if (node.xml_ == nullptr) {
        const CompactNode& parent = compact(node.index_);
        if (parent.childList != 0)
            return lists[parent.childList - 1];
        NodeList& list = newList();
        std::size_t count = 0;
        for (std::uint32_t c = parent.firstChild; c != kNoNode; c = compact(c).nextSibling)
            ++count;
        Node* items = newItems(count);
        for (std::uint32_t c = parent.firstChild; c != kNoNode; c = compact(c).nextSibling)
            *items++ = Node(this, nullptr, c);
        list.items_ = items - count;
        list.count_ = static_cast<int>(count);
        parent.childList = static_cast<std::uint32_t>(lists.size());
        return list;
    }
    if (const auto known = libxmlLists.find(node.xml_); known != libxmlLists.end())
        return *known->second;
    std::vector<const xmlNode*> children;
    for (const xmlNode* child = firstChild(node.xml_); child != nullptr; child = child->next)
        if (isDomNode(child) && !isWhiteSpaceOnly(child))
            children.push_back(child);
    NodeList& list = newList();
    Node* items = newItems(children.size());
    list.items_ = items;
    list.count_ = static_cast<int>(children.size());
    for (const xmlNode* child : children)
        *items++ = child == parsed.rootStandIn ? Node(this, nullptr, 0) : Node(this, child, 0);
    libxmlLists.emplace(node.xml_, &list);
    return list;
}

std::optional<std::uint32_t> detail::LoadedDocument::attributeNumber(std::string_view name) {
    // A few slots remember the names asked for (the walk asks for the same five names of
    // every frame): the name's hash picks the first slot to look in, the next ones follow.
    const std::size_t size = name.size();
    std::uint32_t hash = static_cast<std::uint32_t>(size);
    for (const char c : name.substr(0, 8))
        hash = hash * 131 + static_cast<unsigned char>(c);
    const std::size_t first = (hash * 0x9E3779B1u) >> 28;
    NumberSlot* free = nullptr;
    for (std::size_t probe = 0; probe < numbers_.size(); ++probe) {
        NumberSlot& slot = numbers_[(first + probe) % numbers_.size()];
        if (!slot.used) {
            free = &slot;
            break;
        }
        if (slot.name == name)
            return slot.number;
    }

    // The tree's names are the parser's dictionary copies: look NAME up there first.
    std::optional<std::uint32_t> number;
    const xmlChar* local = nullptr;
    if (name.find('\0') == std::string_view::npos && size < 1024)
        local = xmlDictExists(parsed.doc->dict, reinterpret_cast<const xmlChar*>(name.data()),
                              static_cast<int>(size));
    if (local != nullptr) {
        const auto& numbers = parsed.tree->attributeNumbers;
        if (const auto known = numbers.find({local, nullptr}); known != numbers.end())
            number = known->second;
    }
    // With every slot taken, the name is looked up afresh each time.
    if (free != nullptr)
        *free = NumberSlot{true, std::string(name), number};
    return number;
}

std::optional<detail::CompactPosition> detail::compactPosition(const Node& node) {
    if (node.doc_ == nullptr || node.xml_ != nullptr)
        return std::nullopt;
    const xmlDoc* doc = node.doc_->parsed.doc.get();
    const bool declared = doc->intSubset != nullptr && doc->intSubset->attributes != nullptr;
    return CompactPosition{node.doc_->parsed.tree.get(), node.index_, node.doc_->serial, !declared};
}

Node::Node(const Node& other)
    : owner_(other.owner_ || other.doc_ == nullptr ? other.owner_ : other.doc_->shared_from_this()),
      doc_(other.doc_), xml_(other.xml_), index_(other.index_) {}

Node& Node::operator=(const Node& other) {
    if (this != &other) {
        Node copy(other);
        owner_ = std::move(copy.owner_);
        doc_ = copy.doc_;
        xml_ = copy.xml_;
        index_ = copy.index_;
    }
    return *this;
}

Node::~Node() = default;

const Node& NodeList::Item(int index) const {
    if (index < 0 || index >= Count())
        throw EListError(index);
    return items_[static_cast<std::size_t>(index)];
}

NodeType Node::nodeType() const {
    return xml_ != nullptr ? libxmlType(xml_) : compactType(doc_->compact(index_).kind);
}

bool Node::HasChildNodes() const {
    if (xml_ == nullptr)
        return doc_->compact(index_).firstChild != kNoNode;
    return doc_->childList(*this).Count() > 0;
}

const NodeList& Node::ChildNodes() const {
    return doc_->childList(*this);
}

QString Node::NodeName() const {
    if (const char* fixed = fixedName(nodeType()))
        return QString::fromLatin1(fixed);
    if (xml_ != nullptr)
        return qualifiedName(xml_);
    return fromXml(doc_->compact(index_).name);
}

bool Node::NameMatches(QStringView word) const {
    const char* name = nullptr;
    if (xml_ == nullptr) {
        const CompactNode& node = doc_->compact(index_);
        name = node.name != nullptr ? reinterpret_cast<const char*>(node.name)
                                    : fixedName(compactType(node.kind));
    } else {
        name = fixedName(nodeType());
        if (name == nullptr && prefixOf(xml_) == nullptr)
            name = reinterpret_cast<const char*>(xml_->name);
        if (name == nullptr)
            return nameTest(NodeName(), word);
    }
    return nameTestUtf8(name, word);
}

QString Node::LocalName() const {
    const auto type = nodeType();
    if (type == NodeType::Element || type == NodeType::Attribute)
        return fromXml(xml_ != nullptr ? xml_->name : doc_->compact(index_).localName);
    return NodeName();
}

QString Node::NamespaceURI() const {
    const xmlDoc* doc = doc_->parsed.doc.get();
    if (xml_ == nullptr) {
        const CompactNode& node = doc_->compact(index_);
        if (node.kind == CompactKind::Element && node.namespaceUri != nullptr)
            return QString::fromUtf8(expandedNamespaceName(doc, node.namespaceUri));
        return QString();
    }
    const auto type = nodeType();
    if ((type == NodeType::Element || type == NodeType::Attribute) && xml_->ns != nullptr)
        return QString::fromUtf8(expandedNamespaceName(xml_->doc, xml_->ns->href));
    return QString();
}

AttributeText Node::AttributeUtf8(std::string_view name) const {
    if (xml_ != nullptr)
        return {};
    const bool prefixed = name.find(':') != std::string_view::npos;
    return compactAttribute(name, prefixed ? std::nullopt : doc_->attributeNumber(name));
}

AttributeText Node::AttributeUtf8(const AttributeKey& key) const {
    if (xml_ != nullptr)
        return {};
    if (key.load_ != doc_->serial) {
        const bool prefixed = key.name_.find(':') != std::string::npos;
        key.number_ = prefixed ? std::nullopt : doc_->attributeNumber(key.name_);
        key.load_ = doc_->serial;
    }
    return compactAttribute(key.name_, key.number_);
}

AttributeText Node::compactAttribute(std::string_view name,
                                     const std::optional<std::uint32_t>& number) const {
    const CompactNode& node = doc_->compact(index_);
    if (node.kind != CompactKind::Element)
        return {AttributeText::State::Absent, {}};
    const auto& attributes = doc_->parsed.tree->attributes;
    if (number) {
        // A name without prefix, found by its number.
        for (std::uint32_t i = 0; i < node.attributeCount; ++i) {
            const detail::CompactAttribute& attribute = attributes[node.firstAttribute + i];
            if (attribute.name == *number)
                return {AttributeText::State::Text, attribute.value()};
        }
    } else if (name.find(':') != std::string_view::npos) {
        const auto& names = doc_->parsed.tree->attributeNames;
        for (std::uint32_t i = 0; i < node.attributeCount; ++i) {
            const detail::CompactAttribute& attribute = attributes[node.firstAttribute + i];
            const detail::AttributeName& written = names[attribute.name];
            if (qualifiedNameIs(written.prefix, written.localName, name))
                return {AttributeText::State::Text, attribute.value()};
        }
    }
    const xmlDoc* doc = doc_->parsed.doc.get();
    const bool declaresAttributes = doc->intSubset != nullptr && doc->intSubset->attributes;
    if (node.namespaceCount > 0 || declaresAttributes)
        return {};
    return {AttributeText::State::Absent, {}};
}

std::optional<QString> Node::AttributeValue(QStringView name) const {
    const QByteArray wanted = name.toUtf8();
    const xmlDoc* doc = doc_->parsed.doc.get();
    if (xml_ == nullptr) {
        const CompactNode& node = doc_->compact(index_);
        if (node.kind != CompactKind::Element)
            return std::nullopt;
        const AttributeText text = AttributeUtf8(viewOf(wanted));
        if (text.state == AttributeText::State::Text)
            return QString::fromUtf8(text.text.data(), static_cast<qsizetype>(text.text.size()));
        const auto& namespaces = doc_->parsed.tree->namespaces;
        if (auto declared = declaredNamespace(doc, viewOf(wanted), [&](auto visit) {
                for (std::uint32_t i = 0; i < node.namespaceCount; ++i)
                    visit(namespaces[node.firstNamespace + i].prefix,
                          namespaces[node.firstNamespace + i].uri);
            }))
            return declared;
        return declaredDefault(doc, reinterpret_cast<const char*>(node.name), wanted);
    }

    const xmlNode* node = xml_;
    if (node->type != XML_ELEMENT_NODE)
        return std::nullopt;
    for (xmlAttr* attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
        const xmlChar* prefix = attribute->ns != nullptr ? attribute->ns->prefix : nullptr;
        if (!qualifiedNameIs(prefix, attribute->name, viewOf(wanted)))
            continue;
        const std::unique_ptr<xmlChar, XmlFree> value(
            xmlNodeGetContent(reinterpret_cast<const xmlNode*>(attribute)));
        return fromXml(value.get());
    }
    // Namespace declarations are attributes in the DOM; libxml2 keeps them apart.
    if (auto declared = declaredNamespace(node->doc, viewOf(wanted), [&](auto visit) {
            for (const xmlNs* ns = node->nsDef; ns != nullptr; ns = ns->next)
                visit(ns->prefix, ns->href);
        }))
        return declared;
    // An attribute the element does not carry may still have a default in the file's DTD,
    // which a non-validating reader applies just as if it had been written out.
    return declaredDefault(node->doc, elementName(node), wanted);
}

XmlDocument::XmlDocument(TreeBuilding building) : building_(building) {
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
    loaded->parsed = parseLayoutFile(fileName_, building_ == TreeBuilding::Compact);
    Node documentNode(loaded.get(), reinterpret_cast<const xmlNode*>(loaded->parsed.doc.get()), 0);
    documentNode.owner_ = loaded;
    documentNode_ = std::move(documentNode);
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
