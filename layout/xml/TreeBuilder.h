// Builds a document's content from libxml2's SAX2 callbacks into a CompactTree, while libxml2's
// own callbacks keep everything outside the root element (the document type with its
// declarations, comments and processing instructions beside the root) in its xmlDoc.
//
// A document whose own DTD declares general entities is built entirely by libxml2 instead: its
// entity references share the entities' parsed content, which libxml2's tree keeps once for all
// references and guards against expansion bombs.
#pragma once

#include "layout/xml/CompactTree.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <memory>
#include <vector>

namespace lyremap::detail {

class TreeBuilder {
public:
    TreeBuilder();
    TreeBuilder(const TreeBuilder&) = delete;
    TreeBuilder& operator=(const TreeBuilder&) = delete;

    // Points the content callbacks of SAX at this builder for the parse that runs next on this
    // thread; the builder is active until it is destroyed.
    void install(xmlSAXHandler& sax);
    ~TreeBuilder();

    // The compact content; null when libxml2 built the tree or no root element was seen.
    std::unique_ptr<CompactTree> takeTree();
    // True when building ran out of memory; the parse was stopped and its result is no document.
    bool failed() const { return failed_; }
    // The stand-in for the root element among the xmlDoc's children; null when there is none.
    const xmlNode* rootStandIn() const { return rootStandIn_; }

private:
    // What the parser's white-space heuristics need of an open element, as libxml2's own tree
    // would have it: the kinds of its first and last child so far.
    struct OpenElement {
        std::uint32_t node;
        const xmlChar* localName = nullptr;
        std::uint32_t lastChild = kNoNode;
        xmlElementType firstKind = xmlElementType(0);
        xmlElementType lastKind = xmlElementType(0);
        bool lastTextKept = false; // the trailing text run has a node (it is not all white space)
    };

    static TreeBuilder* active();
    static void fail(void* ctx) noexcept;
    static void startElement(void* ctx, const xmlChar* localName, const xmlChar* prefix,
                             const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                             int attributeCount, int defaultedCount, const xmlChar** attributes);
    static void endElement(void* ctx, const xmlChar* localName, const xmlChar* prefix,
                           const xmlChar* uri);
    static void characters(void* ctx, const xmlChar* text, int length);
    static void cdataBlock(void* ctx, const xmlChar* text, int length);
    static void comment(void* ctx, const xmlChar* text);
    static void processingInstruction(void* ctx, const xmlChar* target, const xmlChar* data);
    static void reference(void* ctx, const xmlChar* name);

    bool beginRoot(xmlParserCtxt* ctxt);
    void handOverToLibxml(xmlParserCtxt* ctxt);
    std::uint32_t appendChild(CompactKind kind, xmlElementType domKind);
    void storeAttributes(xmlParserCtxt* ctxt, CompactNode& node, int count,
                         const xmlChar** attributes);
    void showTopToParser();
    std::uint32_t attributeName(const xmlChar* localName, const xmlChar* prefix);

    std::unique_ptr<CompactTree> tree_;
    // Recently numbered attribute names, by a hash of the local name's (interned) address.
    struct RecentName {
        const xmlChar* localName = nullptr;
        const xmlChar* prefix = nullptr;
        std::uint32_t number = 0;
    };
    RecentName recentNames_[64];
    std::vector<OpenElement> open_;
    bool rootSeen_ = false;
    bool failed_ = false;
    xmlNode* rootStandIn_ = nullptr;
    xmlSAXHandler* sax_ = nullptr;
    TreeBuilder* previous_ = nullptr;
    // What the parser sees as its current node; see OpenElement.
    xmlNode shown_{};
    xmlNode shownFirst_{};
    xmlNode shownLast_{};
};

} // namespace lyremap::detail
