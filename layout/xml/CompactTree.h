// A loaded document held compactly: every node in document order in a few large blocks, 24
// bytes each, attribute values in a text arena, names as numbers of the parser's dictionary
// copies (which the document keeps alive). Text is not kept: callers see text nodes only as
// children, and text of nothing but white space is not even that. An entity's content is held
// once, however often the entity is referenced; a reference's first child is its first node.
#pragma once

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

// Memory for the tree's bulk: SIZE bytes, as huge pages where the system offers them, so
// that filling it costs one page fault per 2 MiB rather than one per 4 KiB.
struct BulkFree {
    void operator()(std::byte* bytes) const noexcept;
};
using BulkMemory = std::unique_ptr<std::byte[], BulkFree>;
BulkMemory allocateBulk(std::size_t size);
inline constexpr std::size_t kBulkSize = std::size_t{2} << 20;
// Data written by one thread and data read by another are kept this far apart: x86 processors
// fetch cache lines of 64 bytes in pairs.
inline constexpr std::size_t kCacheLinePair = 128;

// A growing sequence whose items never move: blocks of 2 MiB, so growth copies nothing.
// Items are made as they are appended; a block's unused rest is never touched.
// The table of blocks has room for every index from the start, so that a reader on another
// thread may look up items appended before it was handed their index while more are appended.
template <typename T> class BlockVector {
    static_assert(std::is_trivially_destructible_v<T>, "blocks are released without destructors");

public:
    static constexpr std::uint32_t kBlock = static_cast<std::uint32_t>(kBulkSize / sizeof(T));
    static constexpr std::uint32_t kNoIndex = 0xFFFFFFFFu; // never an item's index

    BlockVector() { blocks_.reserve(kNoIndex / kBlock + 1); }

    std::uint32_t size() const { return size_; }
    T& operator[](std::uint32_t i) { return block(i / kBlock)[i % kBlock]; }
    const T& operator[](std::uint32_t i) const { return block(i / kBlock)[i % kBlock]; }
    // How many items from I on lie in I's block, so that they can be read by pointer.
    std::uint32_t leftInBlock(std::uint32_t i) const { return kBlock - i % kBlock; }
    // Appends a default item and returns it.
    T& append() {
        if (size_ == kNoIndex)
            throw std::length_error("BlockVector");
        if (next_ == end_) {
            blocks_.push_back(allocateBulk(kBulkSize));
            next_ = block(static_cast<std::uint32_t>(blocks_.size() - 1));
            end_ = next_ + kBlock;
        }
        ++size_;
        return *new (next_++) T();
    }

private:
    T* block(std::uint32_t b) const { return reinterpret_cast<T*>(blocks_[b].get()); }

    // Readers on other threads read the table; the appender writes the fields below with every
    // item. Sharing a cache line, each append would take the line back from a reader's core.
    std::vector<BulkMemory> blocks_;
    alignas(kCacheLinePair) std::uint32_t size_ = 0;
    // Where the next item goes and where the last block ends: appending needs no division.
    T* next_ = nullptr;
    T* end_ = nullptr;
};

// A growing sequence whose items never move, for the tree's smaller tables: segment K holds
// 64 << K items, so a few segments serve a small document and 27 any 32-bit count. As with
// BlockVector, a reader on another thread may read the items that size() counts.
template <typename T> class StableVector {
public:
    std::uint32_t size() const { return size_.load(std::memory_order_acquire); }
    bool empty() const { return size() == 0; }
    T& operator[](std::uint32_t i) { return at(i); }
    const T& operator[](std::uint32_t i) const { return const_cast<StableVector*>(this)->at(i); }
    void push_back(T value) {
        const std::uint32_t n = size_.load(std::memory_order_relaxed);
        if (n == 0xFFFFFFFFu)
            throw std::length_error("StableVector");
        const auto [segment, offset] = locate(n);
        if (!segments_[segment])
            segments_[segment] = std::make_unique<T[]>(std::size_t{kFirst} << segment);
        segments_[segment][offset] = std::move(value);
        size_.store(n + 1, std::memory_order_release);
    }

private:
    static constexpr std::uint32_t kFirst = 64;
    // Segment K starts at item kFirst * (2^K - 1).
    static std::pair<unsigned, std::uint32_t> locate(std::uint32_t i) {
        const auto segment = static_cast<unsigned>(std::bit_width(i / kFirst + 1u) - 1);
        return {segment, i - kFirst * ((std::uint32_t{1} << segment) - 1)};
    }
    T& at(std::uint32_t i) {
        const auto [segment, offset] = locate(i);
        return segments_[segment][offset];
    }

    std::array<std::unique_ptr<T[]>, 27> segments_;
    std::atomic<std::uint32_t> size_{0};
};

// A line and a column in the source, both 1-based; line 0 for none.
struct TextPosition {
    std::uint32_t line = 0;
    std::uint32_t column = 0;
};

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
    std::uint32_t line = 0;                 // element or reference in the file: 1-based line
    std::uint32_t column : 27 = 0;          // ... and column of its '<' or '&', in characters
    std::uint32_t namespaced : 1 = 0;       // CompactTree::namespaceInfo has an entry
    std::uint32_t kindBits : 4 = 0;

    CompactKind kind() const { return CompactKind(kindBits); }
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
    // Sets the value, copying it into the record or into ARENA.
    void setValue(const char* bytes, std::size_t size, TextArena& arena) {
        if (size > kInline)
            return setOutside(bytes, size, arena);
        data_[kTagAt] = static_cast<char>(size << 1 | 1);
        if (size > 0) // an empty value may come without bytes
            std::memcpy(data_ + kInlineAt, bytes, size);
    }
    // Where the name is written, given the line of its element's tag. False, and no place,
    // when the record cannot hold it: more than 127 lines below the tag's start, or a column
    // of 2^24 or more on a later line.
    bool setPlace(std::uint32_t line, std::uint32_t column, std::uint32_t elementLine) {
        place_ = 0;
        if (line == elementLine && column < 0x80000000u)
            place_ = column;
        else if (line > elementLine && line - elementLine < 128 && column < kFarPlaces)
            place_ = 0x80000000u | (line - elementLine) << 24 | column;
        return place_ != 0;
    }
    // How many places the tree can keep outside the records.
    static constexpr std::uint32_t kFarPlaces = 1u << 24;
    // The place is entry INDEX (below kFarPlaces) of the tree's farPlaces.
    void setFarPlace(std::uint32_t index) { place_ = 0x80000000u | index; }
    // Where the name is written, given its element's line; {0, 0} for nowhere.
    TextPosition place(std::uint32_t elementLine,
                       const StableVector<TextPosition>& farPlaces) const;

private:
    // data_ read as one 64-bit word tells the two forms apart by its lowest bit: set, the
    // byte holding that bit is a tag (the size, shifted up by one) and the other seven hold
    // the value; clear, the word is the address of an outside value, which is 8-aligned.
    static constexpr bool kLittle = std::endian::native == std::endian::little;
    static constexpr std::size_t kTagAt = kLittle ? 0 : 7;
    static constexpr std::size_t kInlineAt = kLittle ? 1 : 0;

    void setOutside(const char* bytes, std::size_t size, TextArena& arena);

    std::uint32_t name_ = 0;
    // Bit 31 clear: on the tag's first line, bits 0-30 the column. Set: bits 24-30 the lines
    // below the tag's first, bits 0-23 the column; or, with bits 24-30 clear, bits 0-23 the
    // index of the place in the tree's farPlaces.
    std::uint32_t place_ = 0;
    char data_[8] = {kLittle, 0, 0, 0, 0, 0, 0, !kLittle}; // the value, or its size's address
};
static_assert(sizeof(CompactAttribute) == 16);

// A namespace declaration, which the DOM shows as an attribute xmlns or xmlns:PREFIX.
struct CompactNamespace {
    const xmlChar* prefix = nullptr; // null for the default namespace
    std::string_view uri;            // references replaced
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
    // Places of attribute names that their records cannot hold; rare, so kept apart.
    StableVector<TextPosition> farPlaces;
    TextArena text;

    // Gives ATTRIBUTE the place LINE:COLUMN, in its record or among farPlaces; no place when
    // neither has room.
    void setPlace(CompactAttribute& attribute, std::uint32_t line, std::uint32_t column,
                  std::uint32_t elementLine) {
        if (!attribute.setPlace(line, column, elementLine))
            placeFar(attribute, line, column);
    }
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
    void placeFar(CompactAttribute& attribute, std::uint32_t line, std::uint32_t column);

    mutable std::atomic<std::uint32_t> announced_{0};
    std::atomic<bool> ended_{false};
};

// A link that a failed parse never wrote was read.
class TreeAbandoned : public std::runtime_error {
public:
    TreeAbandoned() : std::runtime_error("the document's parse was abandoned") {}
};

} // namespace lyremap::detail
