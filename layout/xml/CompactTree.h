// A loaded document held compactly: every node in document order in a few large blocks, 24
// bytes each, attribute values in a text arena, names as numbers of the parser's dictionary
// copies (which the document keeps alive). Text is not kept: callers see text nodes only as
// children, and text of nothing but white space is not even that. An entity's content is held
// once, however often the entity is referenced; a reference's first child is its first node.
#pragma once

#include "layout/xml/BlockStorage.h"
#include "layout/xml/LineIndex.h"

#include <libxml/xmlstring.h>

#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <string_view>
#include <type_traits>
#include <vector>

namespace lyremap::detail {

// Bytes copied once and kept at a fixed place for the tree's life.
class TextArena {
public:
    std::string_view store(const char* bytes, std::size_t size);
    // Copies SIZE bytes after an 8-aligned 64-bit count of them; gives the count's address.
    const char* storeCounted(const char* bytes, std::size_t size);

private:
    // SIZE bytes of room at an address that is a multiple of ALIGN (at most 16).
    char* reserve(std::size_t size, std::size_t align);

    static constexpr std::size_t kChunk = kBulkSize;
    std::vector<BulkMemory> chunks_;
    char* free_ = nullptr;
    std::size_t left_ = 0;
};

// The kinds of node the tree holds, numbered as the DOM numbers them.
enum class CompactKind : std::uint8_t {
    Element = 1,
    Text = 3,
    CDataSection = 4,
    EntityReference = 5,
    ProcessingInstruction = 7,
    Comment = 8,
    Document = 9,
    DocumentType = 10,
};

inline constexpr std::uint32_t kNoNode = 0xFFFFFFFFu;
// A link of a tree still being built that the parse has not yet written (see CompactTree).
inline constexpr std::uint32_t kPending = 0xFFFFFFFEu;
inline constexpr std::uint32_t kNoName = 0; // the name number of kinds with a fixed DOM name

struct CompactNode {
    std::uint32_t name = kNoName;       // number in CompactTree::names
    std::uint32_t firstChild = kNoNode; // for a reference: the first node of the entity
    std::uint32_t nextSibling = kNoNode;
    std::uint32_t firstAttribute = kNoNode; // attributes run from here to one marked last
    std::uint32_t placeLow = 0;             // element or reference in the file: 1 + the offset
    std::uint32_t placeHigh : 27 = 0;       // ... of its '<' or '&' in the decoded text; 0: none
    std::uint32_t namespaced : 1 = 0;       // CompactTree::namespaceInfo has an entry
    std::uint32_t kindBits : 4 = 0;

    CompactKind kind() const { return CompactKind(kindBits); }
    // 1 + the offset of the node's '<' or '&' in the decoded text (see LineIndex); 0 for none.
    std::uint64_t place() const { return std::uint64_t{placeHigh} << 32 | placeLow; }
    void setPlace(std::uint64_t place) {
        if (place >> 59 == 0) {
            placeLow = static_cast<std::uint32_t>(place);
            placeHigh = static_cast<std::uint32_t>(place >> 32);
        }
    }
    void setKind(CompactKind kind) { kindBits = static_cast<std::uint32_t>(kind) & 0xF; }
};
static_assert(sizeof(CompactNode) == 24);

// An attribute's qualified name; the tree numbers the distinct ones.
struct AttributeName {
    const xmlChar* localName = nullptr;
    const xmlChar* prefix = nullptr; // null when the name has none
};

// An attribute written on an element: the number of its name, the place of its name in the
// file and its value (UTF-8, references already replaced). Values of up to kInline bytes,
// which most are, are held in the record itself; 16 bytes a record, since a large layout holds
// millions of them and every byte of the tree is memory the kernel must clear first.
class CompactAttribute {
public:
    static constexpr std::uint32_t kInline = 7;
    static constexpr std::uint32_t kLastBit = 0x80000000u;

    std::uint32_t name() const { return name_ & ~kLastBit; }
    // True for the element's last attribute.
    bool last() const { return (name_ & kLastBit) != 0; }
    void setName(std::uint32_t number, bool last) { name_ = number | (last ? kLastBit : 0); }
    std::string_view value() const {
        if (const auto tag = static_cast<unsigned char>(data_[kTagAt]); (tag & 1) != 0)
            return std::string_view(data_ + kInlineAt, tag >> 1);
        // The record holds the address of the value's size, which the bytes follow.
        std::uint64_t word = 0;
        std::memcpy(&word, data_, sizeof word);
        const auto* outside = reinterpret_cast<const char*>(static_cast<std::uintptr_t>(word));
        std::uint64_t size = 0;
        std::memcpy(&size, outside, sizeof size);
        return std::string_view(outside + sizeof size, size);
    }
    // True when a value held in the record has an '&'. Its other bytes are zeros and the tag,
    // which is odd, as '&' is not.
    bool heldValueHasAmpersand() const {
        std::uint64_t word = 0;
        std::memcpy(&word, data_, sizeof word);
        const std::uint64_t x = word ^ 0x2626262626262626u;
        return ((x - 0x0101010101010101u) & ~x & 0x8080808080808080u) != 0;
    }
    // Sets the value, copying it into the record or into ARENA.
    void setValue(const char* bytes, std::size_t size, TextArena& arena) {
        if (size > kInline)
            return setOutside(bytes, size, arena);
        data_[kTagAt] = static_cast<char>(size << 1 | 1);
        if (size > 0) // an empty value may come without bytes
            std::memcpy(data_ + kInlineAt, bytes, size);
    }
    // How far the name is written after its element's '<', in bytes of the decoded text; 0
    // for nowhere (a name never starts at the '<').
    std::uint32_t distance() const { return distance_; }
    void setDistance(std::uint32_t distance) { distance_ = distance; }

private:
    // data_ read as one 64-bit word tells the two forms apart by its lowest bit: set, the
    // byte holding that bit is a tag (the size, shifted up by one) and the other seven hold
    // the value; clear, the word is the address of an outside value, which is 8-aligned.
    static constexpr bool kLittle = std::endian::native == std::endian::little;
    static constexpr std::size_t kTagAt = kLittle ? 0 : 7;
    static constexpr std::size_t kInlineAt = kLittle ? 1 : 0;

    void setOutside(const char* bytes, std::size_t size, TextArena& arena);

    std::uint32_t name_ = 0;
    std::uint32_t distance_ = 0;
    char data_[8] = {kLittle, 0, 0, 0, 0, 0, 0, !kLittle}; // the value, or its size's address
};
static_assert(sizeof(CompactAttribute) == 16);

// A namespace declaration, which the DOM shows as an attribute xmlns or xmlns:PREFIX.
struct CompactNamespace {
    const xmlChar* prefix = nullptr; // null for the default namespace
    std::string_view uri;            // references replaced
    std::uint32_t distance = 0;      // of its name from the element's '<' (see CompactAttribute)
};

// What only elements with namespaces have: the namespace of the element's name and the
// declarations written on it.
struct NamespaceInfo {
    std::uint32_t node = 0;
    std::uint32_t firstNamespace = 0; // index into CompactTree::namespaces
    std::uint32_t namespaceCount = 0;
    std::string_view uri; // the element's namespace name, references replaced; empty for none
};

// The tree may be read on another thread while it is built. A node is complete before a link
// to it is written, and each of its links (firstChild, nextSibling) is written once, from
// kPending to its final value, with release order: a reader that follows links sees whole
// nodes, and one that finds a link pending waits for it. The builder announces its progress
// now and then, and ends the tree when the parse is over, whether it succeeded or not; a link
// still pending then never comes, and reading it throws TreeAbandoned.
struct CompactTree {
    CompactTree() { names.push_back(std::string_view()); }

    BlockVector<CompactNode> nodes;   // nodes[0] is the root element
    std::uint32_t document = kNoNode; // the document node, made last
    BlockVector<CompactAttribute> attributes;
    // Views of the parser's dictionary copies, which end in NUL; names[kNoName] is empty.
    StableVector<std::string_view> names;
    StableVector<AttributeName> attributeNames;
    // The number of each attribute name, by its local name and prefix.
    std::map<std::pair<const xmlChar*, const xmlChar*>, std::uint32_t> attributeNumbers;
    BlockVector<CompactNamespace> namespaces;
    StableVector<NamespaceInfo> namespaceInfo; // by node, in increasing order
    // Where the nodes' places are in lines and columns.
    LineIndex lines;
    TextArena text;

    // The namespace entry of NODE, which must be namespaced.
    const NamespaceInfo& namespacesOf(std::uint32_t node) const;

    // NODE's first child and next sibling, kNoNode for none; waits while they are pending.
    std::uint32_t firstChildOf(std::uint32_t node) const { return link(nodes[node].firstChild); }
    std::uint32_t nextSiblingOf(std::uint32_t node) const { return link(nodes[node].nextSibling); }
    // Writes the pending LINK of a node that a reader may already see.
    static void setLink(std::uint32_t& link, std::uint32_t value) {
        std::atomic_ref<std::uint32_t>(link).store(value, std::memory_order_release);
    }
    // Wakes readers waiting for links written since the last announcement. With END, the
    // parse is over: links still pending stay so.
    void announce(bool end = false);

private:
    std::uint32_t link(const std::uint32_t& field) const {
        const std::uint32_t value =
            std::atomic_ref<std::uint32_t>(const_cast<std::uint32_t&>(field))
                .load(std::memory_order_acquire);
        return value != kPending ? value : waitFor(field);
    }
    std::uint32_t waitFor(const std::uint32_t& field) const;

    // Apart from the text arena before them, which the parse writes with many attributes.
    alignas(kCacheLinePair) mutable std::atomic<std::uint32_t> announced_{0};
    std::atomic<bool> ended_{false};
};

// A link that a failed parse never wrote was read.
class TreeAbandoned : public std::runtime_error {
public:
    TreeAbandoned() : std::runtime_error("the document's parse was abandoned") {}
};

} // namespace lyremap::detail
