#include "layout/xml/XmlDocument.h"

#include "layout/xml/LoadedDocument.h"

#include <libxml/dict.h>
#include <libxml/valid.h>

namespace lyremap {

namespace detail {

namespace {

std::string_view viewOf(const xmlChar* text) {
    return text != nullptr ? std::string_view(reinterpret_cast<const char*>(text))
                           : std::string_view();
}

bool declaresAttributes(const xmlDoc* doc) {
    return doc->intSubset != nullptr && doc->intSubset->attributes != nullptr;
}

} // namespace

bool qualifiedNameIs(const xmlChar* prefix, const xmlChar* local, std::string_view name) {
    if (local == nullptr)
        return false;
    if (prefix == nullptr)
        return name == viewOf(local);
    const std::string_view p = viewOf(prefix);
    return name.size() > p.size() && name.starts_with(p) && name[p.size()] == ':' &&
           name.substr(p.size() + 1) == viewOf(local);
}

LoadedDocument::LoadedDocument(ParsedLayout parsedLayout)
    : parsed(std::move(parsedLayout)), tree(*parsed.tree),
      declaresAttributes(detail::declaresAttributes(parsed.doc.get())) {}

LoadedDocument::LoadedDocument(std::shared_ptr<CompactTree> growing, xmlDict* dict)
    : parsed{nullptr, std::move(growing)}, tree(*parsed.tree), declaresAttributes(false),
      dict_(dict) {
    xmlDictReference(dict_);
}

LoadedDocument::~LoadedDocument() {
    // libxml2's document holds the dictionary itself; the tree's views are never read again.
    if (dict_ != nullptr)
        xmlDictFree(dict_);
}

std::string_view LoadedDocument::name(std::uint32_t index) const {
    return tree.names[node(index).name];
}

std::string LoadedDocument::qualifiedAttributeName(std::uint32_t number) const {
    const AttributeName& name = tree.attributeNames[number];
    std::string qualified(viewOf(name.localName));
    if (name.prefix != nullptr)
        qualified = std::string(viewOf(name.prefix)) + ':' + qualified;
    return qualified;
}

Node* LoadedDocument::newItems(std::size_t count) {
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

const NodeList& LoadedDocument::childList(const Node& parent) {
    const std::uint64_t key = std::uint64_t{parent.index_} << 32 | parent.via_;
    if (const auto known = listOf_.find(key); known != listOf_.end())
        return *known->second;
    std::size_t count = 0;
    for (ChildCursor child(parent); !child.atEnd(); child.next())
        ++count;
    Node* items = newItems(count);
    NodeList& list = lists_.emplace_back();
    list.items_ = items;
    list.count_ = static_cast<int>(count);
    for (ChildCursor child(parent); !child.atEnd(); child.next())
        *items++ = Node(this, child.node().index_, child.node().via_);
    listOf_.emplace(key, &list);
    return list;
}

const CompactNamespace* LoadedDocument::declarationOf(std::uint32_t index,
                                                      std::string_view qname) const {
    static const xmlChar xmlns[] = "xmlns";
    if (!node(index).namespaced || !qname.starts_with("xmlns"))
        return nullptr;
    const NamespaceInfo& info = tree.namespacesOf(index);
    for (std::uint32_t i = 0; i < info.namespaceCount; ++i) {
        const CompactNamespace& ns = tree.namespaces[info.firstNamespace + i];
        if (ns.prefix == nullptr ? qualifiedNameIs(nullptr, xmlns, qname)
                                 : qualifiedNameIs(xmlns, ns.prefix, qname))
            return &ns;
    }
    return nullptr;
}

std::optional<std::string_view> LoadedDocument::namespaceDeclaration(std::uint32_t index,
                                                                     std::string_view qname) const {
    if (const CompactNamespace* declaration = declarationOf(index, qname))
        return declaration->uri;
    return std::nullopt;
}

std::optional<std::string_view> LoadedDocument::declaredDefault(std::uint32_t element,
                                                                std::string_view qname) const {
    // Only the internal subset is ever parsed, so no declaration from outside the file applies.
    const xmlDtd* dtd = parsed.doc->intSubset;
    if (!declaresAttributes || qname.find('\0') != std::string_view::npos)
        return std::nullopt;
    const std::size_t colon = qname.find(':');
    const std::string local(colon == std::string_view::npos ? qname : qname.substr(colon + 1));
    const std::string prefix(colon == std::string_view::npos ? std::string_view()
                                                             : qname.substr(0, colon));
    const xmlAttribute* declaration = xmlGetDtdQAttrDesc(
        const_cast<xmlDtd*>(dtd), BAD_CAST tree.names[element].data(), BAD_CAST local.c_str(),
        colon == std::string_view::npos ? nullptr : BAD_CAST prefix.c_str());
    if (declaration == nullptr || declaration->defaultValue == nullptr ||
        declaration->def == XML_ATTRIBUTE_REQUIRED || declaration->def == XML_ATTRIBUTE_IMPLIED)
        return std::nullopt;
    return viewOf(declaration->defaultValue);
}

std::optional<std::string_view> LoadedDocument::attribute(std::uint32_t index,
                                                          std::string_view qname) const {
    const CompactNode& element = node(index);
    if (element.kind() != CompactKind::Element)
        return std::nullopt;
    if (element.firstAttribute != kNoNode)
        for (std::uint32_t i = element.firstAttribute;; ++i) {
            const CompactAttribute& attribute = tree.attributes[i];
            const AttributeName& name = tree.attributeNames[attribute.name()];
            if (qualifiedNameIs(name.prefix, name.localName, qname))
                return attribute.value();
            if (attribute.last())
                break;
        }
    // Namespace declarations are attributes in the DOM; libxml2 keeps them apart.
    if (auto declared = namespaceDeclaration(index, qname))
        return declared;
    // An attribute the element does not carry may still have a default in the file's DTD,
    // which a non-validating reader applies just as if it had been written out.
    return declaredDefault(element.name, qname);
}

} // namespace detail

const Node& NodeList::Item(int index) const {
    if (index < 0 || index >= Count())
        throw EListError(index);
    return items_[static_cast<std::size_t>(index)];
}

XmlDocument::XmlDocument() {
    ensureXmlInitialised();
}

void XmlDocument::Close() {
    documentNode_ = Node();
    document_.reset();
}

void XmlDocument::LoadFromFile(const QString& path, const RootReader& onRoot) {
    Close();
    if (!path.isEmpty() && path != fileName_)
        fileName_ = path;
    if (fileName_.isEmpty())
        throw EXMLDocError(QString::fromUtf16(kFileNameRequired));
    std::shared_ptr<detail::LoadedDocument> early;
    detail::RootHook hook;
    if (onRoot)
        hook = [&](const std::shared_ptr<detail::CompactTree>& tree, xmlDict* dict) {
            early = std::make_shared<detail::LoadedDocument>(tree, dict);
            Node root(early.get(), 0, Node::kNowhere);
            root.owner_ = early;
            onRoot(root);
        };
    ParsedLayout parsed = parseLayoutFile(fileName_, hook);
    std::shared_ptr<detail::LoadedDocument> loaded = early;
    if (loaded)
        loaded->complete(std::move(parsed));
    else
        loaded = std::make_shared<detail::LoadedDocument>(std::move(parsed));
    Node documentNode(loaded.get(), loaded->tree.document, Node::kNowhere);
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
    const Node document = DocumentNode();
    // Only elements count: a document type or a processing instruction of the same name comes
    // before the root element and would otherwise hide it.
    for (ChildCursor child(document); !child.atEnd(); child.next()) {
        const Node& node = child.node();
        if (node.nodeType() == NodeType::Element &&
            (node.NodeName() == name || node.LocalName() == name))
            return node;
    }
    throw EOleException(
        kErrorFail,
        QStringLiteral("Das Dokument hat kein Element %1 auf oberster Ebene").arg(name));
}

} // namespace lyremap
