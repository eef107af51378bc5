// Turns offsets into a document's decoded (UTF-8) text into the line and column an editor
// shows: 1-based lines ending at LF (so CR LF is one line end), 1-based columns counting
// characters, a tab or a multi-byte character as one. The parse records where lines start and
// which bytes continue a multi-byte character as it reads, and keeps only offsets in the tree;
// lines and columns are worked out when someone asks, on whatever thread asks.
//
// The parse appends, offsets only growing; readers on other threads may convert any offset the
// parse recorded before it published the node that holds it.
#pragma once

#include "layout/xml/BlockStorage.h"

#include <atomic>
#include <cstdint>

namespace lyremap::detail {

// A line and a column in the source, both 1-based; line 0 for none.
struct TextPosition {
    std::uint32_t line = 0;
    std::uint32_t column = 0;
};

class LineIndex {
public:
    LineIndex() { starts_.push_back(0); }
    // Counts the bytes [FROM, TO), which lie at offset AT of the text and follow what was
    // counted before without a gap.
    void count(const unsigned char* from, const unsigned char* to, std::uint64_t at);
    // Skips the text up to offset AT, which was never counted: its line ends are known only by
    // number, LINES of them, and the next line is taken to start at AT.
    void skipTo(std::uint64_t at, std::uint32_t lines);
    // Line 1 starts at offset AT, at column COLUMN: after a byte-order mark, or after characters
    // that the decoded text no longer holds.
    void startFirstLine(std::uint64_t at, std::uint32_t column);
    // The number of line ends counted or skipped so far.
    std::uint32_t lineEnds() const { return starts_.size() - 1; }

    // Where offset AT of the text stands.
    TextPosition positionOf(std::uint64_t at) const;

private:
    // The continuation bytes of 64 bytes of text, and how many came before them.
    struct ContinuationWord {
        std::uint64_t bits = 0;
        std::uint64_t before = 0;
    };
    // Continuation bytes in [0, AT).
    std::uint64_t continuationsBefore(std::uint64_t at) const;
    void markContinuations(std::uint64_t at, std::uint64_t bits, unsigned count);

    StableVector<std::uint64_t> starts_; // the offset where each line starts
    std::uint32_t firstColumn_ = 1;
    // Words from the first one that holds a continuation byte on; none for ASCII text.
    BlockVector<ContinuationWord> words_;
    std::atomic<std::uint64_t> firstWord_{UINT64_MAX};
    std::uint64_t continuations_ = 0; // counted so far
    // Where the last lookup ended; written by readers, so apart from what the parse writes.
    alignas(kCacheLinePair) mutable std::atomic<std::uint32_t> recentLine_{0};
};

} // namespace lyremap::detail
