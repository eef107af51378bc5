#include "layout/xml/CompactTree.h"

#include "layout/xml/BulkPrefetch.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace lyremap::detail {

void BulkFree::operator()(std::byte* bytes) const noexcept {
    std::free(bytes);
}

BulkMemory allocateBulk(std::size_t size) {
    if (BulkPrefetch* prefetch = BulkPrefetch::active(); prefetch != nullptr && size == kBulkSize)
        if (BulkMemory ready = prefetch->take())
            return ready;
    // Ordinary pages: asking for huge ones made the kernel compact memory inside the page
    // faults whenever another program had just given back a lot of it, which cost the 40 MB
    // layout's open about 20 ms and saved no measurable time otherwise.
    auto* bytes = static_cast<std::byte*>(std::malloc(size));
    if (bytes == nullptr)
        throw std::bad_alloc();
    return BulkMemory(bytes);
}

char* TextArena::reserve(std::size_t size, std::size_t align) {
    if (size > kChunk / 4) {
        // A large value gets a chunk of its own, so the current chunk's rest is not wasted.
        chunks_.push_back(allocateBulk(size));
        return reinterpret_cast<char*>(chunks_.back().get());
    }
    std::size_t pad = (align - reinterpret_cast<std::uintptr_t>(free_) % align) % align;
    if (pad + size > left_) {
        chunks_.push_back(allocateBulk(kChunk));
        free_ = reinterpret_cast<char*>(chunks_.back().get());
        left_ = kChunk;
        pad = 0;
    }
    char* place = free_ + pad;
    free_ += pad + size;
    left_ -= pad + size;
    return place;
}

std::string_view TextArena::store(const char* bytes, std::size_t size) {
    if (size == 0)
        return std::string_view("", 0);
    char* place = reserve(size, 1);
    std::memcpy(place, bytes, size);
    return std::string_view(place, size);
}

const char* TextArena::storeCounted(const char* bytes, std::size_t size) {
    const std::uint64_t count = size;
    char* place = reserve(sizeof count + size, alignof(std::uint64_t));
    std::memcpy(place, &count, sizeof count);
    if (size > 0)
        std::memcpy(place + sizeof count, bytes, size);
    return place;
}

void CompactAttribute::setOutside(const char* bytes, std::size_t size, TextArena& arena) {
    // An 8-aligned address has its lowest bit clear, which marks the word as one.
    const std::uint64_t word = reinterpret_cast<std::uintptr_t>(arena.storeCounted(bytes, size));
    std::memcpy(data_, &word, sizeof word);
}

const NamespaceInfo& CompactTree::namespacesOf(std::uint32_t node) const {
    // The first entry whose node is not below NODE.
    std::uint32_t low = 0;
    std::uint32_t high = namespaceInfo.size();
    while (low < high) {
        const std::uint32_t middle = low + (high - low) / 2;
        if (namespaceInfo[middle].node < node)
            low = middle + 1;
        else
            high = middle;
    }
    return namespaceInfo[low];
}

void CompactTree::announce(bool end) {
    if (end)
        ended_.store(true, std::memory_order_release);
    announced_.fetch_add(1, std::memory_order_release);
    announced_.notify_all();
}

std::uint32_t CompactTree::waitFor(const std::uint32_t& field) const {
    for (;;) {
        // The announcement count first: a link written after it is read wakes the wait below.
        const std::uint32_t seen = announced_.load(std::memory_order_acquire);
        const std::uint32_t value =
            std::atomic_ref<std::uint32_t>(const_cast<std::uint32_t&>(field))
                .load(std::memory_order_acquire);
        if (value != kPending)
            return value;
        if (ended_.load(std::memory_order_acquire))
            throw TreeAbandoned();
        announced_.wait(seen, std::memory_order_acquire);
    }
}

} // namespace lyremap::detail
