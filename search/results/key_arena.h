#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

namespace search {

// Sort keys packed one after another in large blocks, each behind its length (one byte below 128):
// a million keys cost about their bytes, where a byte array apiece would cost more than the key.
// A key is never moved or freed on its own; the arena goes as a whole.
class KeyArena {
public:
    using Ref = uint32_t;

    Ref add(std::span<const uint8_t> key)
    {
        uint8_t length[5];
        const size_t lengthSize = encodeLength(uint32_t(key.size()), length);
        const size_t needed = lengthSize + key.size();
        if (blocks_.empty() || used_ + needed > capacity_)
            newBlock(needed);
        uint8_t* at = blocks_.back().get() + used_;
        std::memcpy(at, length, lengthSize);
        if (!key.empty())
            std::memcpy(at + lengthSize, key.data(), key.size());
        const Ref ref = Ref((blocks_.size() - 1) << kOffsetBits) | Ref(used_);
        used_ += needed;
        return ref;
    }

    std::span<const uint8_t> at(Ref ref) const
    {
        const uint8_t* entry = blocks_[ref >> kOffsetBits].get() + (ref & kOffsetMask);
        uint32_t length = 0;
        for (int shift = 0;; shift += 7) {
            const uint8_t byte = *entry++;
            length |= uint32_t(byte & 0x7f) << shift;
            if (!(byte & 0x80))
                break;
        }
        return {entry, length};
    }

    // Takes over another arena's keys; returns what to add to its refs to use them here.
    Ref absorb(KeyArena&& other)
    {
        const Ref shift = Ref(blocks_.size()) << kOffsetBits;
        if (other.blocks_.empty())
            return shift;
        for (auto& block : other.blocks_)
            blocks_.push_back(std::move(block));
        capacity_ = other.capacity_;
        used_ = other.used_;
        other.clear();
        return shift;
    }

    void clear()
    {
        blocks_.clear();
        blocks_.shrink_to_fit();
        capacity_ = used_ = 0;
    }

    // Byte order, and a key that is the start of another first.
    static int compare(std::span<const uint8_t> a, std::span<const uint8_t> b)
    {
        const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
        if (c != 0)
            return c;
        return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
    }

    // The first eight bytes as one number (zeros after a shorter key): most comparisons of a
    // sort end there, without reaching for the key itself.
    static uint64_t prefix(std::span<const uint8_t> key)
    {
        uint64_t value = 0;
        for (size_t i = 0; i < 8; ++i)
            value = value << 8 | (i < key.size() ? key[i] : 0);
        return value;
    }

private:
    static constexpr int kOffsetBits = 20;
    static constexpr Ref kOffsetMask = (Ref(1) << kOffsetBits) - 1;
    static constexpr size_t kBlockSize = size_t(1) << kOffsetBits;

    // Seven bits a byte, the last byte's high bit clear.
    static size_t encodeLength(uint32_t length, uint8_t* out)
    {
        size_t size = 0;
        for (; length >= 0x80; length >>= 7)
            out[size++] = uint8_t(length | 0x80);
        out[size++] = uint8_t(length);
        return size;
    }

    // A key longer than a block gets a block of its own.
    void newBlock(size_t needed)
    {
        capacity_ = std::max(kBlockSize, needed);
        blocks_.push_back(std::make_unique_for_overwrite<uint8_t[]>(capacity_));
        used_ = 0;
    }

    std::vector<std::unique_ptr<uint8_t[]>> blocks_;
    size_t capacity_ = 0;
    size_t used_ = 0;
};

} // namespace search
