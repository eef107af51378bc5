// Builds a document's content from libxml2's SAX2 callbacks into a CompactTree, while libxml2's
// own callbacks keep everything outside the root element (the document type with its
// declarations, comments and processing instructions beside the root) in its xmlDoc; finish()
// adds the document node and those children to the tree.
//
// The parser never substitutes entities: it parses an entity's content with a parser context
// of its own at the entity's first reference and then reports the reference. The builder keeps
// that content once, as a run of nodes that every reference to the entity shares, and marks
// the entity parsed so the parser does not parse it again for each later reference.
//
// The tree may be read while it grows (see CompactTree): each node is linked in once it is
// complete, and the tree is ended when the builder goes, whatever became of the parse.
#pragma once

#include "layout/xml/CompactTree.h"
#include "layout/xml/DocumentChecks.h"
#include "layout/xml/EntityText.h"
#include "layout/xml/SourcePositions.h"
#include "layout/xml/XmlParse.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace lyremap::detail {

class TreeBuilder {
public:
    // A builder for the parse of CTXT, a file of FILESIZE bytes whose first line held PREFIX
    // characters before an encoding switch (see PositionTracker).
    TreeBuilder(xmlParserCtxt* ctxt, std::int64_t fileSize, std::uint32_t prefix);
    TreeBuilder(const TreeBuilder&) = delete;
    TreeBuilder& operator=(const TreeBuilder&) = delete;
    ~TreeBuilder();

    // Points the callbacks of SAX at this builder for the parse that runs next on this thread;
    // the builder is active until it is destroyed.
    void install(xmlSAXHandler& sax);
    // HOOK is told of the root element, when the document allows reading it early.
    void onRoot(RootHook hook) { onRoot_ = std::move(hook); }
    // After a parse that succeeded: the tree, with the document node made from DOC's own
    // children; null when no root element was seen.
    std::shared_ptr<CompactTree> finish(const xmlDoc& doc);
    // True when building ran out of memory; the parse was stopped and its result is no document.
    bool failed() const { return failed_; }
    // The first refusal of the builder's own checks: attribute values that entity references
    // make longer than attributeExpansionLimit, or two attributes of one element that are the
    // same once references in their namespace names are replaced.
    const std::optional<DocumentProblem>& problem() const { return problem_; }

private:
    // What the parser's white-space heuristics need of an open element, as libxml2's own tree
    // would have it: the kinds of its first and last child so far.
    struct OpenElement {
        std::uint32_t node = kNoNode; // kNoNode: the top of an entity's content
        const xmlChar* localName = nullptr;
        std::uint32_t lastChild = kNoNode;
        xmlElementType firstKind = xmlElementType(0);
        xmlElementType lastKind = xmlElementType(0);
        bool lastTextKept = false; // the trailing text run has a node (it is not all white space)
    };
    // One parser context: the document's, or one parsing an entity's content.
    struct Frame {
        xmlParserCtxt* ctxt = nullptr;
        const xmlEntity* entity = nullptr;   // the entity whose content this is; null: document
        const xmlEntity* lookedUp = nullptr; // the entity this context looked up last
        std::vector<OpenElement> open;
        std::uint32_t head = kNoNode; // the first node of the entity's content
        // What the parser sees as its current node; see OpenElement.
        xmlNode shown{}, shownFirst{}, shownLast{};
    };

    static TreeBuilder* active();
    static void fail(void* ctx) noexcept;
    static void startElement(void* ctx, const xmlChar* localName, const xmlChar* prefix,
                             const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                             int attributeCount, int defaultedCount, const xmlChar** attributes);
    static void endElement(void* ctx, const xmlChar* localName, const xmlChar* prefix,
                           const xmlChar* uri);
    static void characters(void* ctx, const xmlChar* text, int length);
    static void ignorableWhitespace(void* ctx, const xmlChar* text, int length);
    static void cdataBlock(void* ctx, const xmlChar* text, int length);
    static void comment(void* ctx, const xmlChar* text);
    static void processingInstruction(void* ctx, const xmlChar* target, const xmlChar* data);
    static void reference(void* ctx, const xmlChar* name);
    static xmlEntity* getEntity(void* ctx, const xmlChar* name);

    // The frame of CTX, closing the frames of contexts that have finished. With FOLLOW, counts
    // positions up to where the document's parser stands (not while a tag or a reference is
    // still to be placed).
    Frame& frameFor(void* ctx, bool follow = true);
    void closeFramesAbove(std::size_t keep);
    bool isDocument(const Frame& frame) const { return &frame == frames_.front().get(); }
    bool beginRoot(xmlParserCtxt* ctxt);
    // A node of KIND that no reader sees until link() makes it the last child of FRAME's open
    // element; appendChild does both for a node with nothing more to fill in.
    std::uint32_t newNode(CompactKind kind);
    void link(Frame& frame, std::uint32_t index, xmlElementType domKind);
    std::uint32_t appendChild(Frame& frame, CompactKind kind, xmlElementType domKind);
    // Writes the links that stay empty when ELEMENT closes: its first child or its last
    // child's next sibling.
    void close(const OpenElement& element);
    static void showTop(Frame& frame);
    std::uint32_t nameNumber(const xmlChar* name);
    std::uint32_t attributeName(const xmlChar* localName, const xmlChar* prefix);

    // TreeBuilderContent.cpp: what an element carries.
    void storeNamespaces(std::uint32_t index, const xmlChar* uri, int count,
                         const xmlChar** namespaces);
    void storeAttributes(const Frame& frame, std::uint32_t index, int count,
                         const xmlChar** attributes);
    // VALUE with its references replaced, counted against the expansion limit when COUNTED.
    std::string_view storedText(std::string_view value, bool counted);
    void checkExpandedNames(const xmlChar* element, int count, const xmlChar** attributes);
    void refuse(QString reason);

    xmlParserCtxt* ctxt_;
    std::shared_ptr<CompactTree> tree_;
    RootHook onRoot_;
    std::vector<std::unique_ptr<Frame>> frames_;
    // Each parsed entity's content, by its first node (kNoNode when it made none).
    std::unordered_map<const xmlEntity*, std::uint32_t> contents_;
    PositionTracker positions_;
    std::vector<std::uint32_t> attributeDistances_;
    std::vector<std::uint32_t> declarationDistances_;
    // Recently numbered names, by a hash of their (interned) address.
    struct RecentName {
        const xmlChar* localName = nullptr;
        const xmlChar* prefix = nullptr;
        std::uint32_t number = 0;
    };
    RecentName recentAttributes_[64];
    RecentName recentNames_[64];
    std::unordered_map<const xmlChar*, std::uint32_t> nameNumbers_;
    std::unordered_map<const xmlChar*, std::string_view> expandedUris_;
    std::optional<EntityText> entityText_; // made with the document, at the root element
    std::string scratch_;
    bool declaresEntities_ = false;
    std::int64_t expansionLimit_;
    std::int64_t expanded_ = 0;
    std::optional<DocumentProblem> problem_;
    bool rootSeen_ = false;
    bool failed_ = false;
    xmlNode* rootStandIn_ = nullptr;
    xmlSAXHandler* sax_ = nullptr;
    TreeBuilder* previous_ = nullptr;
};

} // namespace lyremap::detail
