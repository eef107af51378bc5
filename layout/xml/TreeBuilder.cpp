#include "layout/xml/TreeBuilder.h"

#include <libxml/SAX2.h>
#include <libxml/dict.h>
#include <libxml/parserInternals.h>

#include <cstring>
#include <utility>

namespace lyremap::detail {

namespace {

// The builder of the parse running on this thread. Callbacks get the parser context, which
// libxml2's own DTD callbacks need as their user data, so the builder cannot travel there.
thread_local TreeBuilder* activeBuilder = nullptr;

bool declaresEntities(const xmlDoc* doc) {
    return doc != nullptr && doc->intSubset != nullptr && doc->intSubset->entities != nullptr;
}

// True unless every byte is one of the four white-space characters of XML.
bool hasContent(const xmlChar* text, int length) {
    for (int i = 0; i < length; ++i)
        if (text[i] != ' ' && text[i] != '\n' && text[i] != '\t' && text[i] != '\r')
            return true;
    return false;
}

// True when the value holds a '&': the parser leaves references in values as text.
bool hasReference(const char* value, std::size_t length) {
    if (length > 16)
        return std::memchr(value, '&', length) != nullptr;
    for (std::size_t i = 0; i < length; ++i)
        if (value[i] == '&')
            return true;
    return false;
}

struct NodeListFree {
    void operator()(xmlNode* list) const noexcept { xmlFreeNodeList(list); }
};
struct XmlCharFree {
    void operator()(xmlChar* text) const noexcept { xmlFree(text); }
};

} // namespace

TreeBuilder::TreeBuilder() {
    shown_.type = XML_ELEMENT_NODE;
}

TreeBuilder::~TreeBuilder() {
    if (sax_ != nullptr)
        activeBuilder = previous_;
}

void TreeBuilder::install(xmlSAXHandler& sax) {
    sax_ = &sax;
    previous_ = std::exchange(activeBuilder, this);
    sax.startElementNs = &TreeBuilder::startElement;
    sax.endElementNs = &TreeBuilder::endElement;
    sax.characters = &TreeBuilder::characters;
    sax.cdataBlock = &TreeBuilder::cdataBlock;
    sax.comment = &TreeBuilder::comment;
    sax.processingInstruction = &TreeBuilder::processingInstruction;
    sax.reference = &TreeBuilder::reference;
}

std::unique_ptr<CompactTree> TreeBuilder::takeTree() {
    if (tree_ && tree_->nodes.size() == 0)
        tree_.reset();
    return std::move(tree_);
}

TreeBuilder* TreeBuilder::active() {
    return activeBuilder;
}

void TreeBuilder::fail(void* ctx) noexcept {
    // Nothing may pass through libxml2's frames: stop the parse, and the load fails after it.
    active()->failed_ = true;
    xmlStopParser(static_cast<xmlParserCtxt*>(ctx));
}

bool TreeBuilder::beginRoot(xmlParserCtxt* ctxt) {
    if (rootSeen_)
        return false; // a second top-level element: the parser refuses the document anyway
    rootSeen_ = true;
    if (ctxt->myDoc == nullptr || declaresEntities(ctxt->myDoc) ||
        ctxt->myDoc->dict != ctxt->dict) {
        handOverToLibxml(ctxt);
        return false;
    }
    tree_ = std::make_unique<CompactTree>();
    // The root's place among the document's children, between what comes before and after it.
    rootStandIn_ = xmlNewDocNode(ctxt->myDoc, nullptr, BAD_CAST "root", nullptr);
    if (rootStandIn_ == nullptr) {
        tree_.reset();
        handOverToLibxml(ctxt);
        return false;
    }
    xmlAddChild(reinterpret_cast<xmlNode*>(ctxt->myDoc), rootStandIn_);
    return true;
}

void TreeBuilder::handOverToLibxml(xmlParserCtxt* /*ctxt*/) {
    sax_->startElementNs = &xmlSAX2StartElementNs;
    sax_->endElementNs = &xmlSAX2EndElementNs;
    sax_->characters = &xmlSAX2Characters;
    sax_->cdataBlock = &xmlSAX2CDataBlock;
    sax_->comment = &xmlSAX2Comment;
    sax_->processingInstruction = &xmlSAX2ProcessingInstruction;
    sax_->reference = &xmlSAX2Reference;
}

std::uint32_t TreeBuilder::appendChild(CompactKind kind, xmlElementType domKind) {
    const std::uint32_t index = tree_->nodes.size();
    tree_->nodes.append().kind = kind;
    if (!open_.empty()) {
        OpenElement& parent = open_.back();
        if (parent.lastChild == kNoNode)
            tree_->nodes[parent.node].firstChild = index;
        else
            tree_->nodes[parent.lastChild].nextSibling = index;
        parent.lastChild = index;
        if (parent.firstKind == 0)
            parent.firstKind = domKind;
        parent.lastKind = domKind;
    }
    return index;
}

std::uint32_t TreeBuilder::attributeName(const xmlChar* localName, const xmlChar* prefix) {
    // Names are the parser's dictionary copies, so equal names have equal addresses.
    // Short names lie a few bytes apart in the dictionary: mix all address bits into the slot.
    const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(localName));
    RecentName& recent = recentNames_[(address * 0x9E3779B97F4A7C15u) >> 58];
    if (recent.localName == localName && recent.prefix == prefix)
        return recent.number;
    const auto [known, added] = tree_->attributeNumbers.try_emplace(
        {localName, prefix}, static_cast<std::uint32_t>(tree_->attributeNames.size()));
    if (added)
        tree_->attributeNames.push_back(AttributeName{localName, prefix});
    recent = RecentName{localName, prefix, known->second};
    return known->second;
}

void TreeBuilder::storeAttributes(xmlParserCtxt* ctxt, CompactNode& node, int count,
                                  const xmlChar** attributes) {
    node.firstAttribute = tree_->attributes.size();
    node.attributeCount = static_cast<std::uint32_t>(count);
    for (int i = 0; i < count; ++i) {
        const xmlChar** a = attributes + 5 * i;
        CompactAttribute& attribute = tree_->attributes.append();
        attribute.name = attributeName(a[0], a[1]);
        const auto* value = reinterpret_cast<const char*>(a[3]);
        const auto length = static_cast<std::size_t>(a[4] - a[3]);
        if (!hasReference(value, length)) {
            attribute.setValue(value, length, tree_->text);
            continue;
        }
        // The parser leaves a reference in the value as text, to be resolved the way
        // libxml2's tree resolves it when an attribute's value is read.
        const std::unique_ptr<xmlNode, NodeListFree> list(
            xmlStringLenGetNodeList(ctxt->myDoc, a[3], static_cast<int>(length)));
        const std::unique_ptr<xmlChar, XmlCharFree> text(
            xmlNodeListGetString(ctxt->myDoc, list.get(), 1));
        const char* bytes = text ? reinterpret_cast<const char*>(text.get()) : "";
        attribute.setValue(bytes, std::strlen(bytes), tree_->text);
    }
}

void TreeBuilder::showTopToParser() {
    if (open_.empty())
        return;
    const OpenElement& top = open_.back();
    shown_.name = top.localName;
    shownFirst_.type = top.firstKind;
    shownLast_.type = top.lastKind;
    shown_.children = top.firstKind != 0 ? &shownFirst_ : nullptr;
    shown_.last = top.lastKind != 0 ? &shownLast_ : nullptr;
}

void TreeBuilder::startElement(void* ctx, const xmlChar* localName, const xmlChar* prefix,
                               const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                               int attributeCount, int defaultedCount,
                               const xmlChar** attributes) try {
    auto* ctxt = static_cast<xmlParserCtxt*>(ctx);
    TreeBuilder* self = active();
    if (self->open_.empty() && !self->beginRoot(ctxt)) {
        if (self->sax_->startElementNs != &TreeBuilder::startElement)
            xmlSAX2StartElementNs(ctx, localName, prefix, uri, namespaceCount, namespaces,
                                  attributeCount, defaultedCount, attributes);
        return;
    }
    // The parser's current node is what its white-space heuristics look at; pushing it also
    // applies libxml2's nesting limit exactly where its own tree building would.
    if (nodePush(ctxt, &self->shown_) < 0)
        return;

    const std::uint32_t index = self->appendChild(CompactKind::Element, XML_ELEMENT_NODE);
    CompactNode& node = self->tree_->nodes[index];
    node.localName = localName;
    node.name = prefix != nullptr ? xmlDictQLookup(ctxt->dict, prefix, localName) : localName;
    node.namespaceUri = uri;

    node.firstNamespace = self->tree_->namespaces.size();
    for (int i = 0; i < namespaceCount; ++i) {
        const xmlChar* nsPrefix = namespaces[2 * i];
        // The xml prefix is bound from the start; libxml2's tree keeps no declaration of it.
        if (nsPrefix != nullptr && xmlStrEqual(nsPrefix, BAD_CAST "xml"))
            continue;
        CompactNamespace& ns = self->tree_->namespaces.append();
        ns.prefix = nsPrefix;
        ns.uri = namespaces[2 * i + 1];
        ++node.namespaceCount;
    }
    // Attributes defaulted by the DTD are not stored: reading one finds its declaration.
    self->storeAttributes(ctxt, node, attributeCount - defaultedCount, attributes);

    self->open_.push_back(OpenElement{index, localName});
    self->showTopToParser();
} catch (...) {
    fail(ctx);
}

void TreeBuilder::endElement(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) try {
    TreeBuilder* self = active();
    if (self->open_.empty())
        return;
    nodePop(static_cast<xmlParserCtxt*>(ctx));
    self->open_.pop_back();
    self->showTopToParser();
} catch (...) {
    fail(ctx);
}

void TreeBuilder::characters(void* ctx, const xmlChar* text, int length) try {
    TreeBuilder* self = active();
    if (self->open_.empty())
        return;
    OpenElement& top = self->open_.back();
    // Adjacent text is one node, as in libxml2's tree; only text with content gets a node.
    if (top.lastKind == XML_TEXT_NODE) {
        if (!top.lastTextKept && hasContent(text, length)) {
            top.lastTextKept = true;
            self->appendChild(CompactKind::Text, XML_TEXT_NODE);
        }
    } else {
        top.lastTextKept = hasContent(text, length);
        if (top.lastTextKept) {
            self->appendChild(CompactKind::Text, XML_TEXT_NODE);
        } else {
            if (top.firstKind == 0)
                top.firstKind = XML_TEXT_NODE;
            top.lastKind = XML_TEXT_NODE;
        }
    }
    self->showTopToParser();
} catch (...) {
    fail(ctx);
}

void TreeBuilder::cdataBlock(void* ctx, const xmlChar* /*text*/, int /*length*/) try {
    TreeBuilder* self = active();
    if (self->open_.empty())
        return;
    // Adjacent CDATA sections are one node, as in libxml2's tree.
    if (self->open_.back().lastKind != XML_CDATA_SECTION_NODE)
        self->appendChild(CompactKind::CDataSection, XML_CDATA_SECTION_NODE);
    self->showTopToParser();
} catch (...) {
    fail(ctx);
}

void TreeBuilder::comment(void* ctx, const xmlChar* text) try {
    TreeBuilder* self = active();
    if (self->open_.empty()) {
        xmlSAX2Comment(ctx, text); // beside the root or inside the DTD
        return;
    }
    self->appendChild(CompactKind::Comment, XML_COMMENT_NODE);
    self->showTopToParser();
} catch (...) {
    fail(ctx);
}

void TreeBuilder::processingInstruction(void* ctx, const xmlChar* target, const xmlChar* data) try {
    TreeBuilder* self = active();
    if (self->open_.empty()) {
        xmlSAX2ProcessingInstruction(ctx, target, data);
        return;
    }
    const std::uint32_t index = self->appendChild(CompactKind::ProcessingInstruction, XML_PI_NODE);
    self->tree_->nodes[index].name =
        xmlDictLookup(static_cast<xmlParserCtxt*>(ctx)->dict, target, -1);
    self->showTopToParser();
} catch (...) {
    fail(ctx);
}

void TreeBuilder::reference(void* ctx, const xmlChar* name) try {
    // Only a reference to an undeclared entity reaches here, and the parse refuses it; it
    // still gets its node so the tree stays whole until then.
    TreeBuilder* self = active();
    if (self->open_.empty()) {
        xmlSAX2Reference(ctx, name);
        return;
    }
    const std::uint32_t index =
        self->appendChild(CompactKind::EntityReference, XML_ENTITY_REF_NODE);
    self->tree_->nodes[index].name =
        xmlDictLookup(static_cast<xmlParserCtxt*>(ctx)->dict, name, -1);
    self->showTopToParser();
} catch (...) {
    fail(ctx);
}

} // namespace lyremap::detail
