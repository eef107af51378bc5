// The content of a loaded document below its root element, held compactly: nodes in document
// order in a few large blocks, attribute values in a text arena, names as pointers into the
// parser's name dictionary (which the document keeps alive). Text is not kept: callers see text
// nodes only as children, and text of nothing but white space is not even that.
#pragma once

#include <libxml/xmlstring.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <string_view>
#include <type_traits>
#include <vector>

namespace lyremap::detail {

// A growing sequence whose items never move: blocks of 2^16 items, so growth copies nothing.
// Items are made as they are appended; a block's unused rest is never touched.
template <typename T> class BlockVector {
    static_assert(std::is_trivially_destructible_v<T>, "blocks are released without destructors");

public:
    static constexpr std::uint32_t kShift = 16;
    static constexpr std::uint32_t kBlock = 1u << kShift;
    static constexpr std::uint32_t kNoIndex = 0xFFFFFFFFu; // never an item's index

    std::uint32_t size() const { return size_; }
    T& operator[](std::uint32_t i) { return block(i >> kShift)[i & (kBlock - 1)]; }
    const T& operator[](std::uint32_t i) const { return block(i >> kShift)[i & (kBlock - 1)]; }
    // Appends a default item and returns it.
    T& append() {
        if (size_ == kNoIndex)
            throw std::length_error("BlockVector");
        if ((size_ & (kBlock - 1)) == 0)
            blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(sizeof(T) * kBlock));
        T* item = &block(size_ >> kShift)[size_ & (kBlock - 1)];
        ++size_;
        return *new (item) T();
    }

private:
    T* block(std::uint32_t b) const { return reinterpret_cast<T*>(blocks_[b].get()); }

    std::vector<std::unique_ptr<std::byte[]>> blocks_;
    std::uint32_t size_ = 0;
};

// Bytes copied once and kept at a fixed place for the tree's life.
class TextArena {
public:
    std::string_view store(const char* bytes, std::size_t size);

private:
    static constexpr std::size_t kChunk = 1u << 20;
    std::vector<std::unique_ptr<char[]>> chunks_;
    char* free_ = nullptr;
    std::size_t left_ = 0;
};

enum class CompactKind : std::uint8_t {
    Element,
    Text,
    CDataSection,
    Comment,
    ProcessingInstruction,
    EntityReference,
};

inline constexpr std::uint32_t kNoNode = 0xFFFFFFFFu;

struct CompactNode {
    const xmlChar* name = nullptr;      // element: qualified name; PI: target; reference: its name
    const xmlChar* localName = nullptr; // element: name without prefix
    const xmlChar* namespaceUri = nullptr; // element: namespace name as written, or null
    std::uint32_t firstChild = kNoNode;
    std::uint32_t nextSibling = kNoNode;
    std::uint32_t firstAttribute = 0; // index into CompactTree::attributes
    std::uint32_t attributeCount = 0;
    std::uint32_t firstNamespace = 0; // index into CompactTree::namespaces
    std::uint32_t namespaceCount = 0;
    mutable std::uint32_t childList = 0; // 1 + index of the built child list, 0 before
    CompactKind kind = CompactKind::Element;
};

// An attribute's qualified name; the tree numbers the distinct ones.
struct AttributeName {
    const xmlChar* localName = nullptr;
    const xmlChar* prefix = nullptr; // null when the name has none
};

// An attribute: the number of its name and its value (UTF-8, references already replaced).
// Values of up to kInline bytes, which most are, are held in the record itself.
class CompactAttribute {
public:
    static constexpr std::uint32_t kInline = 8;

    std::uint32_t name = 0; // index into CompactTree::attributeNames
    std::string_view value() const {
        return std::string_view(size_ <= kInline ? inline_ : outside_, size_);
    }
    // Sets the value, copying it into the record or into ARENA.
    void setValue(const char* bytes, std::size_t size, TextArena& arena);

private:
    std::uint32_t size_ = 0;
    union {
        char inline_[kInline];
        const char* outside_;
    };
};

// A namespace declaration, which the DOM shows as an attribute xmlns or xmlns:PREFIX.
struct CompactNamespace {
    const xmlChar* prefix = nullptr; // null for the default namespace
    const xmlChar* uri = nullptr;    // as written
};

struct CompactTree {
    BlockVector<CompactNode> nodes; // nodes[0] is the root element
    BlockVector<CompactAttribute> attributes;
    std::vector<AttributeName> attributeNames;
    // The number of each attribute name, by its local name and prefix.
    std::map<std::pair<const xmlChar*, const xmlChar*>, std::uint32_t> attributeNumbers;
    BlockVector<CompactNamespace> namespaces;
    TextArena text;
};

} // namespace lyremap::detail
