#include "search/memory/listing_arena.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include <sys/mman.h>

#if defined(__SANITIZE_ADDRESS__)
#define SORVANE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SORVANE_ASAN 1
#endif
#endif
#if defined(SORVANE_ASAN)
#include <sanitizer/asan_interface.h>
#else
#define ASAN_POISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#endif

namespace search {
namespace {

constexpr size_t kHugePage = 2 << 20;

// A chunk; one of huge pages' size and more is aligned to them, so that the kernel can back all
// of it with huge pages.
std::byte* mapChunk(size_t bytes)
{
    if (bytes < kHugePage) {
        void* mapped = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED)
            throw std::bad_alloc();
        return static_cast<std::byte*>(mapped);
    }
    void* mapped = ::mmap(nullptr, bytes + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start)
        ::munmap(mapped, aligned - start);
    if (const size_t tail = start + bytes + kHugePage - (aligned + bytes))
        ::munmap(reinterpret_cast<void*>(aligned + bytes), tail);
    ::madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE); // a hint: without it, small pages
    return reinterpret_cast<std::byte*>(aligned);
}

} // namespace

ListingArena::ListingArena(ListingArena&& other) noexcept
{
    *this = std::move(other);
}

ListingArena& ListingArena::operator=(ListingArena&& other) noexcept
{
    if (this != &other) {
        clear();
        chunks_ = std::exchange(other.chunks_, {});
        next_ = std::exchange(other.next_, nullptr);
        left_ = std::exchange(other.left_, 0);
        freeLists_ = std::exchange(other.freeLists_, {});
        large_ = std::exchange(other.large_, {});
        live_ = std::exchange(other.live_, 0);
        held_ = std::exchange(other.held_, 0);
    }
    return *this;
}

ListingArena::~ListingArena()
{
    clear();
}

void ListingArena::clear()
{
    for (const Chunk& chunk : chunks_) {
        ASAN_UNPOISON_MEMORY_REGION(chunk.start, chunk.size); // the addresses may be mapped again
        ::munmap(chunk.start, chunk.size);
    }
    for (std::byte* block : large_)
        std::free(block);
    chunks_.clear();
    large_.clear();
    freeLists_.clear();
    next_ = nullptr;
    left_ = 0;
    live_ = held_ = 0;
}

std::byte* ListingArena::allocate(size_t bytes)
{
    if (bytes == 0)
        return nullptr;
    const size_t size = rounded(bytes);
    live_ += size;
    if (size > kLargest) {
        auto* block = static_cast<std::byte*>(std::malloc(size));
        if (!block)
            throw std::bad_alloc();
        large_.insert(block);
        held_ += size;
        return block;
    }
    if (freeLists_.empty())
        freeLists_.resize(kLargest / kGrain + 1);
    std::byte*& head = freeLists_[size / kGrain];
    if (head) {
        std::byte* block = head;
        ASAN_UNPOISON_MEMORY_REGION(block, size);
        std::memcpy(&head, block, sizeof head);
        ASAN_POISON_MEMORY_REGION(block + bytes, size - bytes);
        return block;
    }
    if (left_ < size) {
        // What is left of the last chunk goes onto the lists, in the largest blocks it makes.
        while (left_ >= kGrain) {
            const size_t piece = std::min(left_ / kGrain * kGrain, kLargest);
            ASAN_UNPOISON_MEMORY_REGION(next_, sizeof(std::byte*));
            std::memcpy(next_, &freeLists_[piece / kGrain], sizeof(std::byte*));
            ASAN_POISON_MEMORY_REGION(next_, sizeof(std::byte*));
            freeLists_[piece / kGrain] = next_;
            next_ += piece;
            left_ -= piece;
        }
        const size_t chunk = chunks_.empty() ? kFirstChunk : std::min(chunks_.back().size * 2, kLargestChunk);
        next_ = mapChunk(chunk);
        // Under AddressSanitizer a block is readable only while handed out, as malloc's are.
        ASAN_POISON_MEMORY_REGION(next_, chunk);
        chunks_.push_back({next_, chunk});
        left_ = chunk;
        held_ += chunk;
    }
    std::byte* block = next_;
    next_ += size;
    left_ -= size;
    ASAN_UNPOISON_MEMORY_REGION(block, bytes);
    return block;
}

void ListingArena::release(std::byte* block, size_t bytes)
{
    if (!block)
        return;
    const size_t size = rounded(bytes);
    live_ -= size;
    if (size > kLargest) {
        large_.erase(block);
        held_ -= size;
        std::free(block);
        return;
    }
    ASAN_POISON_MEMORY_REGION(block, size);
    ASAN_UNPOISON_MEMORY_REGION(block, sizeof(std::byte*));
    std::memcpy(block, &freeLists_[size / kGrain], sizeof(std::byte*));
    ASAN_POISON_MEMORY_REGION(block, sizeof(std::byte*));
    freeLists_[size / kGrain] = block;
}

} // namespace search
