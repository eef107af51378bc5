#include "layout/xml/TreeBuilder.h"

#include <libxml/SAX2.h>
#include <libxml/dict.h>
#include <libxml/entities.h>
#include <libxml/parserInternals.h>

#include <cstring>
#include <utility>

namespace lyremap::detail {

namespace {

// The builder of the parse running on this thread. Callbacks get the parser context, which
// libxml2's own DTD callbacks need as their user data, so the builder cannot travel there.
thread_local TreeBuilder* activeBuilder = nullptr;

// What an entity's children are once its content has been parsed: libxml2 only asks whether
// there are any, to know that it need not parse the content again. No list of libxml2's nodes
// is ever kept for an entity, so nothing reads this node; it is never written either.
xmlNode parsedMark = [] {
    xmlNode node{};
    node.type = XML_TEXT_NODE;
    return node;
}();

// True unless every byte is one of the four white-space characters of XML.
bool hasContent(const xmlChar* text, int length) {
    for (int i = 0; i < length; ++i)
        if (text[i] != ' ' && text[i] != '\n' && text[i] != '\t' && text[i] != '\r')
            return true;
    return false;
}

std::uint64_t mixedAddress(const void* address) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(address)) *
           0x9E3779B97F4A7C15u;
}

} // namespace

TreeBuilder::TreeBuilder(xmlParserCtxt* ctxt, std::int64_t fileSize, std::uint32_t prefix)
    : ctxt_(ctxt), tree_(std::make_shared<CompactTree>()), positions_(ctxt, prefix, tree_->lines),
      expansionLimit_(attributeExpansionLimit(fileSize)) {
    auto document = std::make_unique<Frame>();
    document->ctxt = ctxt;
    document->shown.type = XML_ELEMENT_NODE;
    frames_.push_back(std::move(document));
}

TreeBuilder::~TreeBuilder() {
    if (sax_ != nullptr)
        activeBuilder = previous_;
    if (tree_)
        tree_->announce(true);
}

void TreeBuilder::install(xmlSAXHandler& sax) {
    sax_ = &sax;
    previous_ = std::exchange(activeBuilder, this);
    sax.startElementNs = &TreeBuilder::startElement;
    sax.endElementNs = &TreeBuilder::endElement;
    sax.characters = &TreeBuilder::characters;
    sax.ignorableWhitespace = &TreeBuilder::ignorableWhitespace;
    sax.cdataBlock = &TreeBuilder::cdataBlock;
    sax.comment = &TreeBuilder::comment;
    sax.processingInstruction = &TreeBuilder::processingInstruction;
    sax.reference = &TreeBuilder::reference;
    sax.getEntity = &TreeBuilder::getEntity;
}

TreeBuilder* TreeBuilder::active() {
    return activeBuilder;
}

void TreeBuilder::fail(void* ctx) noexcept {
    // Nothing may pass through libxml2's frames: stop the parse, and the load fails after it.
    TreeBuilder* self = active();
    self->failed_ = true;
    xmlStopParser(static_cast<xmlParserCtxt*>(ctx));
    xmlStopParser(self->ctxt_);
}

TreeBuilder::Frame& TreeBuilder::frameFor(void* ctx, bool follow) {
    auto* ctxt = static_cast<xmlParserCtxt*>(ctx);
    if (frames_.back()->ctxt != ctxt) {
        std::size_t below = frames_.size() - 1;
        while (below > 0 && frames_[below]->ctxt != ctxt)
            --below;
        if (frames_[below]->ctxt == ctxt) {
            closeFramesAbove(below); // the contexts above have finished their entities
        } else {
            // A new context parses the content of the entity the current one looked up last.
            auto frame = std::make_unique<Frame>();
            frame->ctxt = ctxt;
            frame->entity = frames_.back()->lookedUp;
            frame->shown.type = XML_ELEMENT_NODE;
            frame->open.push_back(OpenElement{});
            frames_.push_back(std::move(frame));
        }
    }
    Frame& frame = *frames_.back();
    if (follow && isDocument(frame))
        positions_.follow();
    return frame;
}

void TreeBuilder::closeFramesAbove(std::size_t keep) {
    while (frames_.size() > keep + 1) {
        const Frame& done = *frames_.back();
        for (const OpenElement& element : done.open)
            close(element);
        if (done.entity != nullptr)
            contents_.try_emplace(done.entity, done.head);
        frames_.pop_back();
    }
}

bool TreeBuilder::beginRoot(xmlParserCtxt* ctxt) {
    if (rootSeen_)
        return false; // a second top-level element: the parser refuses the document anyway
    rootSeen_ = true;
    if (ctxt->myDoc == nullptr)
        throw std::bad_alloc();
    const xmlDtd* dtd = ctxt->myDoc->intSubset;
    declaresEntities_ = dtd != nullptr && dtd->entities != nullptr;
    entityText_.emplace(ctxt->myDoc);
    // The root's place among the document's children, between what comes before and after it.
    rootStandIn_ = xmlNewDocNode(ctxt->myDoc, nullptr, BAD_CAST "root", nullptr);
    if (rootStandIn_ == nullptr)
        throw std::bad_alloc();
    xmlAddChild(reinterpret_cast<xmlNode*>(ctxt->myDoc), rootStandIn_);
    return true;
}

std::uint32_t TreeBuilder::nameNumber(const xmlChar* name) {
    // Names are the parser's dictionary copies, so equal names have equal addresses.
    RecentName& recent = recentNames_[mixedAddress(name) >> 58];
    if (recent.localName == name)
        return recent.number;
    const auto [known, added] =
        nameNumbers_.try_emplace(name, static_cast<std::uint32_t>(tree_->names.size()));
    if (added)
        tree_->names.push_back(reinterpret_cast<const char*>(name));
    recent = RecentName{name, nullptr, known->second};
    return known->second;
}

std::uint32_t TreeBuilder::attributeName(const xmlChar* localName, const xmlChar* prefix) {
    // Short names lie a few bytes apart in the dictionary: mix all address bits into the slot.
    RecentName& recent = recentAttributes_[mixedAddress(localName) >> 58];
    if (recent.localName == localName && recent.prefix == prefix)
        return recent.number;
    const auto [known, added] = tree_->attributeNumbers.try_emplace(
        {localName, prefix}, static_cast<std::uint32_t>(tree_->attributeNames.size()));
    if (added)
        tree_->attributeNames.push_back(AttributeName{localName, prefix});
    recent = RecentName{localName, prefix, known->second};
    return known->second;
}

void TreeBuilder::showTop(Frame& frame) {
    const OpenElement& top = frame.open.back();
    frame.shown.name = top.localName;
    frame.shownFirst.type = top.firstKind;
    frame.shownLast.type = top.lastKind;
    frame.shown.children = top.firstKind != 0 ? &frame.shownFirst : nullptr;
    frame.shown.last = top.lastKind != 0 ? &frame.shownLast : nullptr;
}

void TreeBuilder::startElement(void* ctx, const xmlChar* localName, const xmlChar* prefix,
                               const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                               int attributeCount, int defaultedCount,
                               const xmlChar** attributes) try {
    auto* ctxt = static_cast<xmlParserCtxt*>(ctx);
    TreeBuilder* self = active();
    Frame& frame = self->frameFor(ctx, false);
    const bool inFile = self->isDocument(frame);
    const std::uint64_t place =
        inFile ? self->positions_.startTag(attributeCount - defaultedCount, attributes,
                                           self->attributeDistances_)
               : 0;
    if (frame.open.empty() && !self->beginRoot(ctxt))
        return;
    // The parser's current node is what its white-space heuristics look at; pushing it also
    // applies libxml2's nesting limit exactly where its own tree building would.
    if (nodePush(ctxt, &frame.shown) < 0)
        return;

    const bool root = frame.open.empty();
    const std::uint32_t index = self->newNode(CompactKind::Element);
    CompactNode& node = self->tree_->nodes[index];
    node.name = self->nameNumber(prefix != nullptr ? xmlDictQLookup(ctxt->dict, prefix, localName)
                                                   : localName);
    node.setPlace(place);
    self->declarationDistances_.clear();
    if (inFile && namespaceCount > 0)
        self->positions_.declarations(namespaceCount, namespaces, self->declarationDistances_);
    self->storeNamespaces(index, uri, namespaceCount, namespaces);
    // Attributes defaulted by the DTD are not stored: reading one finds its declaration.
    if (!inFile)
        self->attributeDistances_.clear();
    self->storeAttributes(frame, index, attributeCount - defaultedCount, attributes);
    if (self->declaresEntities_)
        self->checkExpandedNames(localName, attributeCount - defaultedCount, attributes);
    self->link(frame, index, XML_ELEMENT_NODE);

    // Made in place: a record built aside and copied in would be read back whole right after
    // being written in parts.
    OpenElement& opened = frame.open.emplace_back();
    opened.node = index;
    opened.localName = localName;
    showTop(frame);
    // Defaults and entities live in libxml2's document, which a failed parse frees: a tree
    // that needs them is read only once the parse is over.
    const xmlDtd* dtd = ctxt->myDoc->intSubset;
    if (root && self->onRoot_ && !self->declaresEntities_ &&
        (dtd == nullptr || dtd->attributes == nullptr))
        self->onRoot_(self->tree_, ctxt->dict);
} catch (...) {
    fail(ctx);
}

void TreeBuilder::endElement(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) try {
    TreeBuilder* self = active();
    Frame& frame = self->frameFor(ctx);
    if (frame.open.size() <= (self->isDocument(frame) ? 0u : 1u))
        return;
    nodePop(static_cast<xmlParserCtxt*>(ctx));
    self->close(frame.open.back());
    frame.open.pop_back();
    if (!frame.open.empty())
        showTop(frame);
} catch (...) {
    fail(ctx);
}

void TreeBuilder::characters(void* ctx, const xmlChar* text, int length) try {
    TreeBuilder* self = active();
    Frame& frame = self->frameFor(ctx);
    if (frame.open.empty())
        return;
    OpenElement& top = frame.open.back();
    // Adjacent text is one node, as in libxml2's tree; only text with content gets a node.
    if (top.lastKind == XML_TEXT_NODE) {
        if (!top.lastTextKept && hasContent(text, length)) {
            top.lastTextKept = true;
            self->appendChild(frame, CompactKind::Text, XML_TEXT_NODE);
        }
    } else {
        top.lastTextKept = hasContent(text, length);
        if (top.lastTextKept) {
            self->appendChild(frame, CompactKind::Text, XML_TEXT_NODE);
        } else {
            if (top.firstKind == 0)
                top.firstKind = XML_TEXT_NODE;
            top.lastKind = XML_TEXT_NODE;
        }
    }
    showTop(frame);
} catch (...) {
    fail(ctx);
}

void TreeBuilder::ignorableWhitespace(void* ctx, const xmlChar* text, int length) try {
    TreeBuilder* self = active();
    Frame& frame = self->frameFor(ctx);
    // At the top of an entity's content the parser judges white space by its own pseudo-root,
    // which stays empty here; libxml2's tree would have given it the content so far, and
    // white space after text is text there.
    if (self->isDocument(frame))
        return;
    if (frame.open.size() == 1 && (frame.open.back().firstKind == XML_TEXT_NODE ||
                                   frame.open.back().lastKind == XML_TEXT_NODE))
        characters(ctx, text, length);
} catch (...) {
    fail(ctx);
}

void TreeBuilder::cdataBlock(void* ctx, const xmlChar* /*text*/, int /*length*/) try {
    TreeBuilder* self = active();
    Frame& frame = self->frameFor(ctx);
    if (frame.open.empty())
        return;
    // Adjacent CDATA sections are one node, as in libxml2's tree.
    if (frame.open.back().lastKind != XML_CDATA_SECTION_NODE)
        self->appendChild(frame, CompactKind::CDataSection, XML_CDATA_SECTION_NODE);
    showTop(frame);
} catch (...) {
    fail(ctx);
}

void TreeBuilder::comment(void* ctx, const xmlChar* text) try {
    TreeBuilder* self = active();
    Frame& frame = self->frameFor(ctx);
    if (frame.open.empty()) {
        xmlSAX2Comment(ctx, text); // beside the root or inside the DTD
        return;
    }
    self->appendChild(frame, CompactKind::Comment, XML_COMMENT_NODE);
    showTop(frame);
} catch (...) {
    fail(ctx);
}

void TreeBuilder::processingInstruction(void* ctx, const xmlChar* target, const xmlChar* data) try {
    TreeBuilder* self = active();
    Frame& frame = self->frameFor(ctx);
    if (frame.open.empty()) {
        xmlSAX2ProcessingInstruction(ctx, target, data);
        return;
    }
    const std::uint32_t index = self->newNode(CompactKind::ProcessingInstruction);
    self->tree_->nodes[index].name =
        self->nameNumber(xmlDictLookup(static_cast<xmlParserCtxt*>(ctx)->dict, target, -1));
    self->link(frame, index, XML_PI_NODE);
    showTop(frame);
} catch (...) {
    fail(ctx);
}

xmlEntity* TreeBuilder::getEntity(void* ctx, const xmlChar* name) {
    xmlEntity* entity = xmlSAX2GetEntity(ctx, name);
    try {
        active()->frameFor(ctx, false).lookedUp = entity;
    } catch (...) {
        fail(ctx);
    }
    return entity;
}

void TreeBuilder::reference(void* ctx, const xmlChar* name) try {
    // Comes after the entity's content, if the parser parsed it for this reference.
    auto* ctxt = static_cast<xmlParserCtxt*>(ctx);
    TreeBuilder* self = active();
    Frame& frame = self->frameFor(ctx, false);
    if (frame.open.empty()) {
        xmlSAX2Reference(ctx, name);
        return;
    }
    xmlEntity* entity = xmlGetDocEntity(ctxt->myDoc, name);
    const std::uint32_t index = self->newNode(CompactKind::EntityReference);
    CompactNode& node = self->tree_->nodes[index];
    node.name = self->nameNumber(xmlDictLookup(ctxt->dict, name, -1));
    if (const auto content = self->contents_.find(entity); content != self->contents_.end())
        node.firstChild = content->second;
    if (self->isDocument(frame)) {
        node.setPlace(self->positions_.reference(std::strlen(reinterpret_cast<const char*>(name))));
    }
    if (entity != nullptr && entity->etype == XML_INTERNAL_GENERAL_ENTITY &&
        entity->children == nullptr) {
        self->contents_.try_emplace(entity, kNoNode);
        entity->children = &parsedMark;
        entity->last = &parsedMark;
        entity->owner = 0;
    }
    self->link(frame, index, XML_ENTITY_REF_NODE);
    showTop(frame);
} catch (...) {
    fail(ctx);
}

} // namespace lyremap::detail
