#pragma once

#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <new>
#include <type_traits>

namespace search {

// An array of plain values in pages mapped for it alone, which grows by moving its pages to a
// larger mapping (mremap) instead of copying its values. A vector that doubles copies every
// value into pages touched for the first time, all at once: at a million rows that held the
// window's thread for 20-50 ms on a virtual machine, where a fresh page is dear. Here a page is
// touched when a value first lands on it, as the array grows.
template <typename T>
class PagedArray {
    static_assert(std::is_trivially_copyable_v<T>, "its values move with its pages");

public:
    PagedArray() = default;
    PagedArray(const PagedArray&) = delete;
    PagedArray& operator=(const PagedArray&) = delete;
    ~PagedArray() { clear(); }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T* begin() { return data_; }
    T* end() { return data_ + size_; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }
    T& operator[](size_t i) { return data_[i]; }
    const T& operator[](size_t i) const { return data_[i]; }

    void push_back(const T& value)
    {
        reserve(size_ + 1);
        data_[size_++] = value;
    }

    void resize(size_t size)
    {
        reserve(size);
        if (size > size_)
            std::fill(data_ + size_, data_ + size, T{});
        size_ = size;
    }

    void erase(T* first, T* last)
    {
        std::copy(last, end(), first);
        size_ -= size_t(last - first);
    }

    // Gives the pages back.
    void clear()
    {
        if (data_)
            munmap(data_, bytes_);
        data_ = nullptr;
        size_ = bytes_ = 0;
    }

private:
    // Whole mappings of 64 KiB, a multiple of every page size, at least doubling.
    static constexpr size_t kGranule = size_t(64) << 10;

    void reserve(size_t size)
    {
        if (size * sizeof(T) <= bytes_)
            return;
        const size_t wanted = std::max(size * sizeof(T), 2 * bytes_);
        const size_t bytes = (wanted + kGranule - 1) / kGranule * kGranule;
        void* data = data_ ? mremap(data_, bytes_, bytes, MREMAP_MAYMOVE)
                           : mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (data == MAP_FAILED)
            throw std::bad_alloc();
        data_ = static_cast<T*>(data);
        bytes_ = bytes;
    }

    T* data_ = nullptr;
    size_t size_ = 0;
    size_t bytes_ = 0;
};

} // namespace search
