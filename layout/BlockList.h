// A list for millions of small values: kept in blocks, never moved.
#pragma once

#include <cstddef>
#include <iterator>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

namespace lyremap {

// Values kept in blocks of thousands, for logs of millions: a block is never moved, so no
// growth holds two copies at once, and few blocks mean few allocations to make and give back.
// Only for types that need no destructor.
template <typename T> class BlockList {
public:
    static_assert(std::is_trivially_destructible_v<T>);
    static constexpr std::size_t kBlock = 4096; // values per block

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = const T*;
        using reference = const T&;
        const_iterator() = default;
        const_iterator(const BlockList* list, std::size_t index) : list_(list), index_(index) {}
        const T& operator*() const { return (*list_)[index_]; }
        const T* operator->() const { return &(*list_)[index_]; }
        const_iterator& operator++() {
            ++index_;
            return *this;
        }
        const_iterator operator++(int) { return const_iterator(list_, index_++); }
        friend bool operator==(const const_iterator& a, const const_iterator& b) {
            return a.index_ == b.index_;
        }

    private:
        const BlockList* list_ = nullptr;
        std::size_t index_ = 0;
    };

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const T& operator[](std::size_t index) const {
        return *std::launder(
            reinterpret_cast<const T*>(blocks_[index / kBlock][index % kBlock].bytes));
    }
    const T& back() const { return (*this)[size_ - 1]; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size_}; }

    void push_back(const T& value) {
        if (size_ == blocks_.size() * kBlock)
            blocks_.push_back(std::make_unique_for_overwrite<Slot[]>(kBlock));
        new (blocks_[size_ / kBlock][size_ % kBlock].bytes) T(value);
        ++size_;
    }
    void clear() {
        blocks_.clear();
        size_ = 0;
    }

private:
    // Room for one value, which push_back makes in place.
    struct Slot {
        alignas(T) unsigned char bytes[sizeof(T)];
    };
    std::vector<std::unique_ptr<Slot[]>> blocks_;
    std::size_t size_ = 0;
};

} // namespace lyremap
