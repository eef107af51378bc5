// Faults in the compact tree's next bulk blocks on a helper thread while the parser runs, so
// that the kernel clears their pages beside the parse instead of inside it. While one is alive
// on a thread, allocateBulk(kBulkSize) on that thread takes its blocks from it when one is
// ready, and allocates as before when none is. At most AHEAD blocks wait unused at a time.
#pragma once

#include "layout/xml/CompactTree.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace lyremap::detail {

class BulkPrefetch {
public:
    // Starts the helper; std::system_error when no thread can be started.
    explicit BulkPrefetch(std::size_t ahead, std::size_t expected = SIZE_MAX);
    BulkPrefetch(const BulkPrefetch&) = delete;
    BulkPrefetch& operator=(const BulkPrefetch&) = delete;
    // Stops the helper and frees the blocks nobody took.
    ~BulkPrefetch();

    // The prefetch of this thread, or null.
    static BulkPrefetch* active();
    // A block of kBulkSize bytes whose pages are in memory, or null when none is ready yet.
    BulkMemory take();

private:
    void run(std::stop_token stop);

    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::vector<BulkMemory> ready_;
    std::size_t ahead_;
    std::size_t expected_;
    std::size_t made_ = 0; // blocks the helper has made so far
    BulkPrefetch* previous_ = nullptr;
    std::jthread helper_; // last: it starts once everything above is made
};

} // namespace lyremap::detail
