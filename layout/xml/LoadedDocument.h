// A parsed document as node handles see it: the compact tree, libxml2's document behind it,
// and the child lists built so far. Shared by the XmlDocument holding it and every node handle
// outside it; the handles inside its child lists point back at it without owning it.
#pragma once

#include "layout/xml/CompactTree.h"
#include "layout/xml/XmlDocument.h"
#include "layout/xml/XmlParse.h"

#include <atomic>
#include <deque>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace lyremap::detail {

struct LoadedDocument : std::enable_shared_from_this<LoadedDocument> {
    explicit LoadedDocument(ParsedLayout parsedLayout);
    // A document whose TREE is still being built by a parse that holds DICT; complete() adds
    // libxml2's document once the parse has succeeded. Its DTD declares no attributes.
    LoadedDocument(std::shared_ptr<CompactTree> tree, xmlDict* dict);
    ~LoadedDocument();
    LoadedDocument(const LoadedDocument&) = delete;
    LoadedDocument& operator=(const LoadedDocument&) = delete;
    void complete(ParsedLayout parsedLayout) { parsed = std::move(parsedLayout); }

    ParsedLayout parsed;
    const CompactTree& tree;
    // Tells loads apart for AttributeSet, also when one lands where an earlier one was.
    const std::uint64_t serial = nextSerial();
    // The file's DTD declares attributes, some of which may have defaults.
    const bool declaresAttributes;

    const CompactNode& node(std::uint32_t index) const { return tree.nodes[index]; }
    std::string_view name(std::uint32_t index) const;
    const NodeList& childList(const Node& parent);
    // The value of attribute QNAME of element INDEX, as Node::AttributeValue describes it.
    std::optional<std::string_view> attribute(std::uint32_t index, std::string_view qname) const;
    // The value of the namespace declaration QNAME (xmlns or xmlns:PREFIX) on element INDEX.
    std::optional<std::string_view> namespaceDeclaration(std::uint32_t index,
                                                         std::string_view qname) const;
    // The declaration QNAME (xmlns or xmlns:PREFIX) on element INDEX, or null.
    const CompactNamespace* declarationOf(std::uint32_t index, std::string_view qname) const;
    // The default that the file's own DTD gives attribute QNAME of elements named ELEMENT.
    std::optional<std::string_view> declaredDefault(std::uint32_t element,
                                                    std::string_view qname) const;
    // The qualified name of attribute name number NUMBER.
    std::string qualifiedAttributeName(std::uint32_t number) const;

private:
    static std::uint64_t nextSerial() {
        static std::atomic<std::uint64_t> last{0};
        return ++last;
    }
    // Room for COUNT handles in a row, kept until the document goes.
    Node* newItems(std::size_t count);

    std::deque<NodeList> lists_;
    // Built lists by node and the reference it is reached through.
    std::unordered_map<std::uint64_t, const NodeList*> listOf_;
    // Handles of all child lists, in chunks: one allocation for many lists.
    static constexpr std::size_t kChunk = 16384;
    std::vector<std::unique_ptr<Node[]>> itemChunks_;
    Node* free_ = nullptr;
    std::size_t left_ = 0;
    // The parser's dictionary, held while the tree is read during the parse: the tree's names
    // are its strings, and a failed parse frees libxml2's document and its own hold on it.
    xmlDict* dict_ = nullptr;
};

// True when the qualified name PREFIX:LOCAL (or LOCAL without prefix) is NAME.
bool qualifiedNameIs(const xmlChar* prefix, const xmlChar* local, std::string_view name);

} // namespace lyremap::detail
