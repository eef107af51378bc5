// Storage whose items never move, so that a reader on another thread may read what was
// appended while more is appended: large blocks for the tree's bulk, growing segments for its
// smaller tables.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace lyremap::detail {

// Memory for the tree's bulk: SIZE bytes, from the thread's BulkPrefetch when one is active
// and has a block of kBulkSize ready, so that its pages are in memory already.
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
    void push_back(const T& value) { append(&value, 1); }
    // Appends COUNT items and lets readers see them all at once.
    void append(const T* items, std::uint32_t count) {
        std::uint32_t n = size_.load(std::memory_order_relaxed);
        if (count > 0xFFFFFFFFu - n)
            throw std::length_error("StableVector");
        for (std::uint32_t i = 0; i < count;) {
            const auto [segment, offset] = locate(n);
            const std::uint64_t room = (std::uint64_t{kFirst} << segment) - offset;
            // Not cleared: a segment's pages are touched only as items are put there.
            if (!segments_[segment])
                segments_[segment] =
                    std::make_unique_for_overwrite<T[]>(std::size_t{kFirst} << segment);
            const auto taken = static_cast<std::uint32_t>(std::min<std::uint64_t>(room, count - i));
            std::copy(items + i, items + i + taken, segments_[segment].get() + offset);
            i += taken;
            n += taken;
        }
        size_.store(n, std::memory_order_release);
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
    alignas(kCacheLinePair) std::atomic<std::uint32_t> size_{0}; // apart from what readers read
};

} // namespace lyremap::detail
