#include "layout/xml/CompactTree.h"

#include "layout/xml/BulkPrefetch.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

namespace lyremap::detail {

void BulkFree::operator()(std::byte* bytes) const noexcept {
    std::free(bytes);
}

BulkMemory allocateBulk(std::size_t size) {
    if (size < kBulkSize) {
        auto* bytes = static_cast<std::byte*>(std::malloc(size));
        if (bytes == nullptr)
            throw std::bad_alloc();
        return BulkMemory(bytes);
    }
    if (BulkPrefetch* prefetch = BulkPrefetch::active(); prefetch != nullptr && size == kBulkSize)
        if (BulkMemory ready = prefetch->take())
            return ready;
    const std::size_t rounded = (size + kBulkSize - 1) / kBulkSize * kBulkSize;
    auto* bytes = static_cast<std::byte*>(std::aligned_alloc(kBulkSize, rounded));
    if (bytes == nullptr)
        throw std::bad_alloc();
    madvise(bytes, rounded, MADV_HUGEPAGE); // only advice: without huge pages all still works
    return BulkMemory(bytes);
}

std::string_view TextArena::store(const char* bytes, std::size_t size) {
    if (size == 0)
        return std::string_view("", 0);
    if (size > kChunk / 4) {
        // A large value gets a chunk of its own, so the current chunk's rest is not wasted.
        chunks_.push_back(allocateBulk(size));
        char* place = reinterpret_cast<char*>(chunks_.back().get());
        std::memcpy(place, bytes, size);
        return std::string_view(place, size);
    }
    if (size > left_) {
        chunks_.push_back(allocateBulk(kChunk));
        free_ = reinterpret_cast<char*>(chunks_.back().get());
        left_ = kChunk;
    }
    char* place = free_;
    std::memcpy(place, bytes, size);
    free_ += size;
    left_ -= size;
    return std::string_view(place, size);
}

void CompactAttribute::setOutside(const char* bytes, std::size_t size, TextArena& arena) {
    const char* outside = arena.store(bytes, size).data();
    std::memcpy(data_, &outside, sizeof outside);
}

std::uint32_t CompactAttribute::line(std::uint32_t elementLine) const {
    if (place_ == 0)
        return 0;
    return elementLine + ((place_ & 0x80000000u) != 0 ? (place_ >> 24) & 0x7F : 0);
}

std::uint32_t CompactAttribute::column() const {
    return (place_ & 0x80000000u) != 0 ? place_ & 0xFFFFFF : place_;
}

const NamespaceInfo& CompactTree::namespacesOf(std::uint32_t node) const {
    const auto found = std::lower_bound(
        namespaceInfo.begin(), namespaceInfo.end(), node,
        [](const NamespaceInfo& info, std::uint32_t wanted) { return info.node < wanted; });
    return *found;
}

} // namespace lyremap::detail
