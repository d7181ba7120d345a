#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>

namespace search {

// Where the listings' blocks live. A first walk fills tens of megabytes of fresh memory, and the
// kernel faulting it in 4 KiB at a time costs more than recording the entries it holds (about
// 20 µs a page on a virtual machine, 300 ms for 64 MiB against 20 ms in huge pages), so blocks
// are carved from chunks of 8 MiB that the kernel may back with huge pages, in multiples of 16
// bytes. A block freed goes on the list of its size and is taken again by the next block of that
// size; a folder listed again mostly has the size it had. Blocks beyond 256 KiB are malloc's own.
// Chunks start at 64 KiB and double, so that a small memory stays small.
//
// Freed blocks stay with the arena for the listings that follow, so it holds what the memory
// held at its largest: the bound weighs the blocks in use (liveBytes).
class ListingArena {
public:
    ListingArena() = default;
    ListingArena(ListingArena&& other) noexcept;
    ListingArena& operator=(ListingArena&& other) noexcept;
    ~ListingArena();

    std::byte* allocate(size_t bytes);
    void release(std::byte* block, size_t bytes);

    size_t liveBytes() const { return live_; }
    size_t heldBytes() const { return held_; } // chunks and large blocks, free ones included

private:
    static constexpr size_t kGrain = 16;
    static constexpr size_t kLargest = 256 << 10;
    static constexpr size_t kFirstChunk = 64 << 10, kLargestChunk = 8 << 20;

    static size_t rounded(size_t bytes) { return (bytes + kGrain - 1) / kGrain * kGrain; }
    void clear();

    struct Chunk {
        std::byte* start;
        size_t size;
    };
    std::vector<Chunk> chunks_;
    std::byte* next_ = nullptr; // the free end of the last chunk
    size_t left_ = 0;
    std::vector<std::byte*> freeLists_; // by size / kGrain, linked through the blocks' first bytes
    std::unordered_set<std::byte*> large_;
    size_t live_ = 0, held_ = 0;
};

} // namespace search
