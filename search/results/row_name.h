#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <cstring>
#include <utility>

namespace search {

// A row's name: the file system's own bytes. A name of up to 23 bytes, as most are, lives inside
// the row; a longer one has a block of its own. A million rows then hold no million blocks (a
// QByteArray of a 14-byte name takes a 48-byte block of the heap besides its own 24).
class RowName {
public:
    RowName() noexcept = default;
    RowName(QByteArrayView bytes) { assign(bytes); }
    RowName(const QByteArray& bytes) { assign(bytes); }
    RowName(const char* bytes) { assign(QByteArrayView(bytes)); }
    RowName(const RowName& other) { assign(other.view()); }
    RowName(RowName&& other) noexcept { take(other); }
    RowName& operator=(const RowName& other)
    {
        RowName copy(other);
        std::swap(raw_, copy.raw_);
        std::swap(size_, copy.size_);
        return *this;
    }
    RowName& operator=(RowName&& other) noexcept
    {
        if (this != &other) {
            release();
            take(other);
        }
        return *this;
    }
    ~RowName() { release(); }

    QByteArrayView view() const noexcept
    {
        return onHeap() ? QByteArrayView(heapBlock(), heapSize()) : QByteArrayView(raw_, size_);
    }
    operator QByteArrayView() const noexcept { return view(); }
    QByteArray bytes() const { return view().toByteArray(); }
    // The name's own bytes as a QByteArray, without a copy, to look it up by: good only while the
    // name lives unchanged.
    QByteArray lookupKey() const { return QByteArray::fromRawData(view().data(), size()); }
    qsizetype size() const noexcept { return onHeap() ? heapSize() : size_; }
    bool isEmpty() const noexcept { return size() == 0; }

    friend bool operator==(const RowName& a, const RowName& b) noexcept { return a.view() == b.view(); }
    friend bool operator==(const RowName& a, QByteArrayView b) noexcept { return a.view() == b; }
    friend bool operator==(const RowName& a, const QByteArray& b) noexcept { return a.view() == QByteArrayView(b); }
    friend bool operator==(const RowName& a, const char* b) noexcept { return a.view() == QByteArrayView(b); }

private:
    static constexpr uint8_t kInline = 23, kOnHeap = 0xFF;

    bool onHeap() const noexcept { return size_ == kOnHeap; }
    // On the heap, the first bytes hold the block's address and then its size.
    char* heapBlock() const noexcept
    {
        char* block;
        std::memcpy(&block, raw_, sizeof block);
        return block;
    }
    qsizetype heapSize() const noexcept
    {
        qsizetype size;
        std::memcpy(&size, raw_ + sizeof(char*), sizeof size);
        return size;
    }
    void assign(QByteArrayView bytes)
    {
        if (bytes.size() <= kInline) {
            if (!bytes.isEmpty())
                std::memcpy(raw_, bytes.data(), size_t(bytes.size()));
            size_ = uint8_t(bytes.size());
            return;
        }
        char* block = new char[size_t(bytes.size())];
        std::memcpy(block, bytes.data(), size_t(bytes.size()));
        const qsizetype size = bytes.size();
        std::memcpy(raw_, &block, sizeof block);
        std::memcpy(raw_ + sizeof block, &size, sizeof size);
        size_ = kOnHeap;
    }
    void take(RowName& other) noexcept
    {
        std::memcpy(raw_, other.raw_, sizeof raw_);
        size_ = other.size_;
        other.size_ = 0;
    }
    void release() noexcept
    {
        if (onHeap())
            delete[] heapBlock();
        size_ = 0;
    }

    char raw_[kInline];
    uint8_t size_ = 0;
};
static_assert(sizeof(RowName) == 24);

} // namespace search
