// Node handles, child cursors and prepared attribute names over a loaded document.
#include "layout/xml/LoadedDocument.h"

#include <unordered_map>

namespace lyremap {

using detail::CompactKind;
using detail::CompactNode;
using detail::kNoNode;

namespace {

// The DOM's fixed name of a node kind that has no name of its own, else empty.
std::string_view fixedName(CompactKind kind) {
    switch (kind) {
    case CompactKind::Text:
        return "#text";
    case CompactKind::CDataSection:
        return "#cdata-section";
    case CompactKind::Comment:
        return "#comment";
    case CompactKind::Document:
        return "#document";
    default:
        return {};
    }
}

// The line and column of PLACE, 1 + an offset into the document's text, or nowhere for 0.
SourcePosition positionOf(std::uint64_t place, const detail::CompactTree& tree) {
    if (place == 0)
        return {};
    const detail::TextPosition position = tree.lines.positionOf(place - 1);
    return SourcePosition{static_cast<int>(position.line), static_cast<int>(position.column)};
}

// Where a name written DISTANCE bytes after ELEMENT's '<' stands; nowhere for distance 0.
SourcePosition placeOf(std::uint32_t distance, const CompactNode& element,
                       const detail::CompactTree& tree) {
    if (distance == 0 || element.place() == 0)
        return {};
    return positionOf(element.place() + distance, tree);
}

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

Node::Node(const Node& other)
    : owner_(other.owner_ || other.doc_ == nullptr ? other.owner_ : other.doc_->shared_from_this()),
      doc_(other.doc_), index_(other.index_), via_(other.via_) {}

Node& Node::operator=(const Node& other) {
    if (this != &other) {
        Node copy(other);
        owner_ = std::move(copy.owner_);
        doc_ = copy.doc_;
        index_ = copy.index_;
        via_ = copy.via_;
    }
    return *this;
}

Node::~Node() = default;

Node Node::child(std::uint32_t index) const {
    // Inside an entity's content a handle keeps the reference it came through.
    const bool reference = doc_->node(index_).kind() == CompactKind::EntityReference;
    return Node(doc_, index, via_ != kNowhere ? via_ : reference ? index_ : kNowhere);
}

NodeType Node::nodeType() const {
    return static_cast<NodeType>(doc_->node(index_).kind());
}

bool Node::HasChildNodes() const {
    return doc_->tree.firstChildOf(index_) != kNoNode;
}

const NodeList& Node::ChildNodes() const {
    return doc_->childList(*this);
}

std::string_view Node::NodeNameUtf8() const {
    const CompactNode& node = doc_->node(index_);
    if (node.kind() == CompactKind::Element) // most nodes: no fixed name to look for
        return doc_->tree.names[node.name];
    const std::string_view fixed = fixedName(node.kind());
    return fixed.empty() ? doc_->name(index_) : fixed;
}

QString Node::NodeName() const {
    return fromUtf8(NodeNameUtf8());
}

QString Node::LocalName() const {
    const std::string_view name = NodeNameUtf8();
    if (doc_->node(index_).kind() != CompactKind::Element)
        return fromUtf8(name);
    const std::size_t colon = name.find(':');
    return fromUtf8(colon == std::string_view::npos ? name : name.substr(colon + 1));
}

QString Node::NamespaceURI() const {
    const CompactNode& node = doc_->node(index_);
    if (node.kind() != CompactKind::Element || !node.namespaced)
        return QString();
    return fromUtf8(doc_->tree.namespacesOf(index_).uri);
}

std::optional<QString> Node::AttributeValue(QStringView name) const {
    const QByteArray wanted = name.toUtf8();
    const auto value =
        doc_->attribute(index_, std::string_view(wanted.constData(), std::size_t(wanted.size())));
    if (!value)
        return std::nullopt;
    return fromUtf8(*value);
}

SourcePosition Node::Position() const {
    return positionOf(doc_->node(via_ != kNowhere ? via_ : index_).place(), doc_->tree);
}

SourcePosition Node::AttributePosition(QStringView name) const {
    const CompactNode& node = doc_->node(index_);
    const QByteArray wanted = name.toUtf8();
    const std::string_view qname(wanted.constData(), std::size_t(wanted.size()));
    if (!doc_->attribute(index_, qname))
        return {};
    if (via_ == kNowhere && node.firstAttribute != kNoNode)
        for (std::uint32_t i = node.firstAttribute;; ++i) {
            const detail::CompactAttribute& attribute = doc_->tree.attributes[i];
            if (doc_->qualifiedAttributeName(attribute.name()) == qname)
                return placeOf(attribute.distance(), node, doc_->tree);
            if (attribute.last())
                break;
        }
    if (const detail::CompactNamespace* declaration = doc_->declarationOf(index_, qname);
        via_ == kNowhere && declaration != nullptr && declaration->distance != 0)
        return placeOf(declaration->distance, node, doc_->tree);
    return Position();
}

QList<WrittenAttribute> Node::WrittenAttributes() const {
    QList<WrittenAttribute> written;
    const CompactNode& node = doc_->node(index_);
    if (node.kind() != CompactKind::Element || node.firstAttribute == kNoNode)
        return written;
    for (std::uint32_t i = node.firstAttribute;; ++i) {
        const detail::CompactAttribute& attribute = doc_->tree.attributes[i];
        const SourcePosition position =
            via_ != kNowhere ? Position() : placeOf(attribute.distance(), node, doc_->tree);
        written.append(WrittenAttribute{fromUtf8(doc_->qualifiedAttributeName(attribute.name())),
                                        fromUtf8(attribute.value()), position});
        if (attribute.last())
            break;
    }
    return written;
}

void Node::UnprefixedAttributesUtf8(
    std::vector<std::pair<const char*, std::string_view>>& attributes) const {
    const CompactNode& node = doc_->node(index_);
    if (node.kind() != CompactKind::Element || node.firstAttribute == kNoNode)
        return;
    for (std::uint32_t i = node.firstAttribute;; ++i) {
        const detail::CompactAttribute& attribute = doc_->tree.attributes[i];
        if (const detail::AttributeName& name = doc_->tree.attributeNames[attribute.name()];
            name.prefix == nullptr)
            attributes.emplace_back(reinterpret_cast<const char*>(name.localName),
                                    attribute.value());
        if (attribute.last())
            break;
    }
}

std::uint32_t Node::DocumentAttributeNamesUtf8(std::uint32_t from,
                                               std::vector<const char*>& unprefixed) const {
    const auto& names = doc_->tree.attributeNames;
    const std::uint32_t count = names.size();
    for (std::uint32_t n = from; n < count; ++n)
        if (names[n].prefix == nullptr)
            unprefixed.push_back(reinterpret_cast<const char*>(names[n].localName));
    return count;
}

// What an AttributeSet has learnt of the last document it was used with.
struct AttributeSet::Learnt {
    static constexpr std::uint8_t kNone = 0xFF;
    std::uint64_t serial = 0;
    // For each attribute name number of the document, which of the set's names it is.
    std::vector<std::uint8_t> slotOf;
    // The defaults the file's DTD gives the set's names, by element name number.
    std::unordered_map<std::uint32_t, std::vector<std::optional<std::string_view>>> defaults;
};

AttributeSet::AttributeSet(std::initializer_list<std::string_view> names)
    : names_(names.begin(), names.end()) {}

AttributeSet::~AttributeSet() = default;

void Node::ReadAttributes(const AttributeSet& names,
                          std::span<std::optional<std::string_view>> values) const {
    std::fill(values.begin(), values.end(), std::nullopt);
    const CompactNode& node = doc_->node(index_);
    if (node.kind() != CompactKind::Element)
        return;
    auto& learnt = names.learnt_;
    if (!learnt || learnt->serial != doc_->serial) {
        learnt = std::make_unique<AttributeSet::Learnt>();
        learnt->serial = doc_->serial;
    }
    // Learns the names the document has gained since: one still being parsed gains more.
    const auto learn = [&] {
        const std::uint32_t known = static_cast<std::uint32_t>(learnt->slotOf.size());
        learnt->slotOf.resize(doc_->tree.attributeNames.size(), AttributeSet::Learnt::kNone);
        for (std::uint32_t n = known; n < learnt->slotOf.size(); ++n)
            for (std::size_t k = names.size(); k-- > 0;)
                if (doc_->qualifiedAttributeName(n) == names.name(k))
                    learnt->slotOf[n] = static_cast<std::uint8_t>(k);
    };
    // The first attribute of each name; well-formed elements have one at most.
    // The run is read by pointer within each block it lies in.
    if (const std::uint32_t first = node.firstAttribute; first != kNoNode) {
        const auto& attributes = doc_->tree.attributes;
        const detail::CompactAttribute* attribute = &attributes[first];
        std::uint32_t left = attributes.leftInBlock(first);
        for (std::uint32_t i = first;; ++i) {
            if (attribute->name() >= learnt->slotOf.size())
                learn();
            const std::uint8_t k = learnt->slotOf[attribute->name()];
            if (k != AttributeSet::Learnt::kNone && !values[k])
                values[k] = attribute->value();
            if (attribute->last())
                break;
            attribute = --left != 0 ? attribute + 1 : &attributes[i + 1];
            if (left == 0)
                left = attributes.leftInBlock(i + 1);
        }
    }
    if (node.namespaced)
        for (std::size_t k = 0; k < names.size(); ++k)
            if (!values[k])
                values[k] = doc_->namespaceDeclaration(index_, names.name(k));
    if (!doc_->declaresAttributes)
        return;
    auto [defaults, fresh] = learnt->defaults.try_emplace(node.name);
    if (fresh)
        for (std::size_t k = 0; k < names.size(); ++k)
            defaults->second.push_back(doc_->declaredDefault(node.name, names.name(k)));
    for (std::size_t k = 0; k < names.size(); ++k)
        if (!values[k])
            values[k] = defaults->second[k];
}

ChildCursor::ChildCursor(const Node& parent) {
    // Moved in from a temporary, the handle stays borrowed.
    if (const std::uint32_t first = parent.doc_->tree.firstChildOf(parent.index_); first != kNoNode)
        current_ = parent.child(first);
}

void ChildCursor::next() {
    const std::uint32_t following = current_.doc_->tree.nextSiblingOf(current_.index_);
    if (following == kNoNode)
        current_ = Node();
    else
        current_.index_ = following;
}

} // namespace lyremap
