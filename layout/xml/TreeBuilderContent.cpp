// What the tree builder stores of an element (its namespaces and attributes, with references
// replaced and their growth bounded), how it links nodes in for readers on other threads, and
// how it closes the tree once the parse has ended.
#include "layout/xml/TreeBuilder.h"

#include <libxml/parserInternals.h>

#include <cstring>

namespace lyremap::detail {

namespace {

bool hasReference(std::string_view text) {
    // Most values are a few bytes: a plain loop costs less than a call to memchr.
    if (text.size() <= 16) {
        for (const char c : text)
            if (c == '&')
                return true;
        return false;
    }
    return text.find('&') != std::string_view::npos;
}

std::string_view viewOf(const xmlChar* text) {
    return text != nullptr ? std::string_view(reinterpret_cast<const char*>(text))
                           : std::string_view();
}

} // namespace

void TreeBuilder::refuse(QString reason) {
    if (problem_)
        return;
    // The line libxml2's tree gives an element: where the parser stood at its start tag's end.
    const int line = ctxt_->input != nullptr ? ctxt_->input->line : 0;
    problem_ = DocumentProblem{std::move(reason), line > 0 && line < 65535 ? line : 0, {}};
}

std::string_view TreeBuilder::storedText(std::string_view value, bool counted) {
    if (!hasReference(value))
        return value;
    if (counted && declaresEntities_) {
        const auto length = entityText_->expandedLength(value);
        expanded_ = length ? expanded_ + *length : expansionLimit_ + 1;
        if (expanded_ > expansionLimit_) {
            refuse(QStringLiteral("Die Entitäten in Attributwerten ergeben mehr als %1 Zeichen")
                       .arg(expansionLimit_));
            return {};
        }
    }
    scratch_.clear();
    entityText_->expand(value, scratch_);
    return scratch_;
}

void TreeBuilder::storeNamespaces(std::uint32_t index, const xmlChar* uri, int count,
                                  const xmlChar** namespaces) {
    NamespaceInfo info{index, tree_->namespaces.size(), 0, {}};
    for (int i = 0; i < count; ++i) {
        const xmlChar* prefix = namespaces[2 * i];
        // The xml prefix is bound from the start; libxml2's tree keeps no declaration of it.
        if (prefix != nullptr && xmlStrEqual(prefix, BAD_CAST "xml"))
            continue;
        const std::string_view text = storedText(viewOf(namespaces[2 * i + 1]), true);
        CompactNamespace& ns = tree_->namespaces.append();
        ns.prefix = prefix;
        ns.uri = tree_->text.store(text.data(), text.size());
        if (std::size_t(i) < declarationDistances_.size())
            ns.distance = declarationDistances_[std::size_t(i)];
        ++info.namespaceCount;
    }
    if (uri != nullptr) {
        // The parser hands out each namespace name once, from its dictionary.
        auto known = expandedUris_.find(uri);
        if (known == expandedUris_.end()) {
            const std::string_view text = storedText(viewOf(uri), false);
            known = expandedUris_.emplace(uri, tree_->text.store(text.data(), text.size())).first;
        }
        info.uri = known->second;
    }
    if (uri == nullptr && info.namespaceCount == 0)
        return;
    tree_->nodes[index].namespaced = 1;
    tree_->namespaceInfo.push_back(info);
}

void TreeBuilder::storeAttributes(const Frame& frame, std::uint32_t index, int count,
                                  const xmlChar** attributes) {
    if (count <= 0)
        return;
    CompactNode& element = tree_->nodes[index];
    element.firstAttribute = tree_->attributes.size();
    const std::size_t placed = isDocument(frame) ? attributeDistances_.size() : 0;
    for (int i = 0; i < count; ++i) {
        const xmlChar** a = attributes + 5 * i;
        CompactAttribute& attribute = tree_->attributes.append();
        attribute.setName(attributeName(a[0], a[1]), i == count - 1);
        if (std::size_t(i) < placed)
            attribute.setDistance(attributeDistances_[std::size_t(i)]);
        // The parser leaves references in the value as text. A short value is looked at once
        // it is in the record, eight bytes at a time.
        const std::string_view written(reinterpret_cast<const char*>(a[3]),
                                       std::size_t(a[4] - a[3]));
        if (written.size() <= CompactAttribute::kInline) {
            attribute.setValue(written.data(), written.size(), tree_->text);
            if (!attribute.heldValueHasAmpersand())
                continue;
        }
        const std::string_view value = storedText(written, true);
        attribute.setValue(value.data(), value.size(), tree_->text);
    }
}

void TreeBuilder::checkExpandedNames(const xmlChar* element, int count,
                                     const xmlChar** attributes) {
    // libxml2 compares the namespaces of an element's attributes by their names as written.
    if (!declaresEntities_ || problem_)
        return;
    for (int i = 0; i < count; ++i) {
        const xmlChar** a = attributes + 5 * i;
        for (int j = i + 1; j < count; ++j) {
            const xmlChar** b = attributes + 5 * j;
            if (a[2] == nullptr || b[2] == nullptr || a[2] == b[2] || a[0] != b[0] ||
                !(hasReference(viewOf(a[2])) || hasReference(viewOf(b[2]))))
                continue;
            std::string first, second;
            entityText_->expand(viewOf(a[2]), first);
            entityText_->expand(viewOf(b[2]), second);
            if (first == second)
                return refuse(QStringLiteral("Das Element %1 hat zwei gleichnamige Attribute "
                                             "im selben Namensraum")
                                  .arg(QString::fromUtf8(viewOf(element))));
        }
    }
}

std::uint32_t TreeBuilder::newNode(CompactKind kind) {
    const std::uint32_t index = tree_->nodes.size();
    CompactNode& node = tree_->nodes.append();
    node.setKind(kind);
    node.nextSibling = kPending;
    if (kind == CompactKind::Element)
        node.firstChild = kPending;
    return index;
}

void TreeBuilder::link(Frame& frame, std::uint32_t index, xmlElementType domKind) {
    if (!frame.open.empty()) {
        OpenElement& parent = frame.open.back();
        if (parent.lastChild != kNoNode)
            CompactTree::setLink(tree_->nodes[parent.lastChild].nextSibling, index);
        else if (parent.node != kNoNode)
            CompactTree::setLink(tree_->nodes[parent.node].firstChild, index);
        else
            frame.head = index;
        parent.lastChild = index;
        if (parent.firstKind == 0)
            parent.firstKind = domKind;
        parent.lastKind = domKind;
    }
    // Now and then, not for every node: a reader that waits is woken to read thousands.
    if ((index & 0x3FFF) == 0)
        tree_->announce();
}

std::uint32_t TreeBuilder::appendChild(Frame& frame, CompactKind kind, xmlElementType domKind) {
    const std::uint32_t index = newNode(kind);
    link(frame, index, domKind);
    return index;
}

void TreeBuilder::close(const OpenElement& element) {
    if (element.lastChild != kNoNode)
        CompactTree::setLink(tree_->nodes[element.lastChild].nextSibling, kNoNode);
    else if (element.node != kNoNode)
        CompactTree::setLink(tree_->nodes[element.node].firstChild, kNoNode);
}

std::shared_ptr<CompactTree> TreeBuilder::finish(const xmlDoc& doc) {
    closeFramesAbove(0);
    if (!tree_ || tree_->nodes.size() == 0)
        return nullptr;
    // The document node and its children: the root, and what libxml2 kept beside it.
    const std::uint32_t document = tree_->nodes.size();
    tree_->nodes.append().setKind(CompactKind::Document);
    std::uint32_t last = kNoNode;
    for (const xmlNode* child = doc.children; child != nullptr; child = child->next) {
        std::uint32_t index = kNoNode;
        if (child == rootStandIn_) {
            index = 0;
        } else if (child->type == XML_DTD_NODE || child->type == XML_COMMENT_NODE ||
                   child->type == XML_PI_NODE) {
            index = tree_->nodes.size();
            CompactNode& node = tree_->nodes.append();
            node.setKind(child->type == XML_DTD_NODE       ? CompactKind::DocumentType
                         : child->type == XML_COMMENT_NODE ? CompactKind::Comment
                                                           : CompactKind::ProcessingInstruction);
            if (child->type != XML_COMMENT_NODE && child->name != nullptr)
                node.name = nameNumber(child->name);
        } else {
            continue;
        }
        if (last == kNoNode)
            tree_->nodes[document].firstChild = index;
        else
            CompactTree::setLink(tree_->nodes[last].nextSibling, index);
        last = index;
    }
    if (last != kNoNode)
        CompactTree::setLink(tree_->nodes[last].nextSibling, kNoNode);
    tree_->document = document;
    return tree_;
}

} // namespace lyremap::detail
