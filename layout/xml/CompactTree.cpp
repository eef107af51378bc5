#include "layout/xml/CompactTree.h"

#include <algorithm>
#include <cstring>

namespace lyremap::detail {

std::string_view TextArena::store(const char* bytes, std::size_t size) {
    if (size == 0)
        return std::string_view("", 0);
    if (size > kChunk / 4) {
        // A large value gets a chunk of its own, so the current chunk's rest is not wasted.
        chunks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        std::memcpy(chunks_.back().get(), bytes, size);
        return std::string_view(chunks_.back().get(), size);
    }
    if (size > left_) {
        chunks_.push_back(std::make_unique_for_overwrite<char[]>(kChunk));
        free_ = chunks_.back().get();
        left_ = kChunk;
    }
    char* place = free_;
    std::memcpy(place, bytes, size);
    free_ += size;
    left_ -= size;
    return std::string_view(place, size);
}

void CompactAttribute::setValue(const char* bytes, std::size_t size, TextArena& arena) {
    size_ = static_cast<std::uint32_t>(size);
    if (size <= kInline)
        std::memcpy(inline_, bytes, size);
    else
        outside_ = arena.store(bytes, size).data();
}

const NamespaceInfo& CompactTree::namespacesOf(std::uint32_t node) const {
    const auto found = std::lower_bound(
        namespaceInfo.begin(), namespaceInfo.end(), node,
        [](const NamespaceInfo& info, std::uint32_t wanted) { return info.node < wanted; });
    return *found;
}

} // namespace lyremap::detail
