#include "layout/xml/LineIndex.h"

#include <algorithm>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lyremap::detail {

namespace {

std::uint64_t readBits(const std::uint64_t& bits) {
    // The parse may still be setting later bits of the word a reader reads.
    return std::atomic_ref<std::uint64_t>(const_cast<std::uint64_t&>(bits))
        .load(std::memory_order_relaxed);
}

} // namespace

void LineIndex::count(const unsigned char* from, const unsigned char* to, std::uint64_t at) {
    // Line starts are gathered and handed to readers a batch at a time.
    std::uint64_t found[64];
    std::uint32_t kept = 0;
    const auto lineStart = [&](std::uint64_t start) {
        if (kept == std::size(found)) {
            starts_.append(found, kept);
            kept = 0;
        }
        found[kept++] = start;
    };
    const unsigned char* p = from;
#if defined(__SSE2__)
    // Sixteen bytes at a time: a mask of the line ends, and of the continuation bytes only
    // where a byte has its high bit set, which in most layouts none has.
    const __m128i lineEnd = _mm_set1_epi8('\n');
    const __m128i topBits = _mm_set1_epi8(static_cast<char>(0xC0));
    const __m128i continuation = _mm_set1_epi8(static_cast<char>(0x80));
    for (; to - p >= 16; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        auto ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lineEnd)));
        const std::uint64_t offset = at + static_cast<std::uint64_t>(p - from);
        for (; ends != 0; ends &= ends - 1)
            lineStart(offset + static_cast<unsigned>(std::countr_zero(ends)) + 1);
        if (_mm_movemask_epi8(bytes) != 0)
            markContinuations(offset,
                              static_cast<unsigned>(_mm_movemask_epi8(
                                  _mm_cmpeq_epi8(_mm_and_si128(bytes, topBits), continuation))),
                              16);
    }
#endif
    for (; p < to; ++p) {
        const std::uint64_t offset = at + static_cast<std::uint64_t>(p - from);
        if (*p == '\n')
            lineStart(offset + 1);
        else if ((*p & 0xC0) == 0x80)
            markContinuations(offset, 1, 1);
    }
    starts_.append(found, kept);
    markContinuations(at + static_cast<std::uint64_t>(to - from), 0, 0);
}

void LineIndex::markContinuations(std::uint64_t at, std::uint64_t bits, unsigned count) {
    std::uint64_t first = firstWord_.load(std::memory_order_relaxed);
    if (first == UINT64_MAX) {
        if (bits == 0)
            return;
        first = at / 64;
        firstWord_.store(first, std::memory_order_release);
    }
    // Words are made in order as the count reaches them, each with the continuations before
    // it; every word up to the one holding the end of what is counted exists, so that a reader
    // finds the word of any offset it may ask for.
    const auto reach = [&](std::uint64_t word) {
        while (words_.size() <= word - first)
            words_.append().before = continuations_;
    };
    for (unsigned done = 0; bits != 0 && done < count;) {
        const std::uint64_t offset = at + done;
        reach(offset / 64);
        const unsigned shift = static_cast<unsigned>(offset % 64);
        const std::uint64_t part = bits << shift;
        std::uint64_t& word = words_[static_cast<std::uint32_t>(offset / 64 - first)].bits;
        std::atomic_ref<std::uint64_t>(word).store(word | part, std::memory_order_relaxed);
        continuations_ += static_cast<unsigned>(std::popcount(part));
        const unsigned taken = 64 - shift;
        bits = taken < 64 ? bits >> taken : 0;
        done += taken;
    }
    reach((at + count) / 64);
}

void LineIndex::skipTo(std::uint64_t at, std::uint32_t lines) {
    for (std::uint32_t i = 0; i < lines; ++i)
        starts_.push_back(at);
    markContinuations(at, 0, 0);
}

void LineIndex::startFirstLine(std::uint64_t at, std::uint32_t column) {
    starts_[0] = at;
    firstColumn_ = column;
}

std::uint64_t LineIndex::continuationsBefore(std::uint64_t at) const {
    const std::uint64_t first = firstWord_.load(std::memory_order_acquire);
    if (first == UINT64_MAX || at / 64 < first)
        return 0;
    const ContinuationWord& word = words_[static_cast<std::uint32_t>(at / 64 - first)];
    const unsigned below = static_cast<unsigned>(at % 64);
    const std::uint64_t mask = below == 0 ? 0 : ~std::uint64_t{0} >> (64 - below);
    return word.before + static_cast<unsigned>(std::popcount(readBits(word.bits) & mask));
}

TextPosition LineIndex::positionOf(std::uint64_t at) const {
    const std::uint32_t count = starts_.size();
    const auto holds = [&](std::uint32_t line) {
        return line < count && starts_[line] <= at && (line + 1 == count || starts_[line + 1] > at);
    };
    // Readers mostly ask in document order: the line of the last answer, or the next one.
    std::uint32_t line = recentLine_.load(std::memory_order_relaxed);
    if (!holds(line)) {
        if (holds(line + 1)) {
            ++line;
        } else {
            std::uint32_t low = 0; // the first line that starts after AT
            std::uint32_t high = count;
            while (low < high) {
                const std::uint32_t middle = low + (high - low) / 2;
                if (starts_[middle] <= at)
                    low = middle + 1;
                else
                    high = middle;
            }
            if (low == 0)
                return {};
            line = low - 1;
        }
        recentLine_.store(line, std::memory_order_relaxed);
    }
    const std::uint64_t start = starts_[line];
    const std::uint64_t characters =
        (at - start) - (continuationsBefore(at) - continuationsBefore(start));
    const std::uint64_t column = characters + (line == 0 ? firstColumn_ : 1);
    return TextPosition{line + 1, static_cast<std::uint32_t>(std::min<std::uint64_t>(
                                      column, std::numeric_limits<std::uint32_t>::max()))};
}

} // namespace lyremap::detail
