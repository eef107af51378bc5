#include "layout/xml/BulkPrefetch.h"

#include <utility>

namespace lyremap::detail {

namespace {

thread_local BulkPrefetch* activePrefetch = nullptr;

constexpr std::size_t kPage = 4096;

} // namespace

BulkPrefetch::BulkPrefetch(std::size_t ahead, std::size_t expected)
    : ahead_(ahead), expected_(expected),
      helper_([this](std::stop_token stop) { run(std::move(stop)); }) {
    // Only once the helper runs: a thread that cannot start leaves no trace.
    previous_ = std::exchange(activePrefetch, this);
}

BulkPrefetch::~BulkPrefetch() {
    helper_.request_stop();
    if (helper_.joinable())
        helper_.join();
    activePrefetch = previous_;
}

BulkPrefetch* BulkPrefetch::active() {
    return activePrefetch;
}

BulkMemory BulkPrefetch::take() {
    BulkMemory block;
    {
        const std::lock_guard lock(mutex_);
        if (ready_.empty())
            return block; // never wait: the caller allocates its own
        block = std::move(ready_.back());
        ready_.pop_back();
    }
    wake_.notify_one();
    return block;
}

void BulkPrefetch::run(std::stop_token stop) {
    while (true) {
        {
            std::unique_lock lock(mutex_);
            if (!wake_.wait(lock, stop, [this] {
                    return ready_.size() < (made_ < expected_ ? ahead_ : std::size_t{1});
                }))
                return;
        }
        BulkMemory block;
        try {
            block = allocateBulk(kBulkSize);
        } catch (const std::bad_alloc&) {
            return; // the parse allocates on its own and fails there if it must
        }
        // One write a page faults it in; the kernel clears it here, on this thread.
        auto* bytes = reinterpret_cast<volatile std::byte*>(block.get());
        for (std::size_t at = 0; at < kBulkSize; at += kPage)
            bytes[at] = std::byte{0};
        const std::lock_guard lock(mutex_);
        ready_.push_back(std::move(block));
        ++made_;
    }
}

} // namespace lyremap::detail
