#include "search/memory/memory_file.h"

#include <QIODevice>

namespace search {
namespace {

// Collects the bytes in a buffer and hands them to the device a block at a time.
class ByteWriter {
public:
    explicit ByteWriter(QIODevice& out) : out_(out) { buffer_.reserve(kBlock + 64); }

    void number(uint64_t value)
    {
        while (value >= 0x80) {
            buffer_.append(char(value | 0x80));
            value >>= 7;
        }
        buffer_.append(char(value));
        spill();
    }
    void signedNumber(int64_t value) { number((uint64_t(value) << 1) ^ uint64_t(value >> 63)); }
    void bytes(QByteArrayView bytes)
    {
        buffer_.append(bytes);
        spill();
    }
    bool finish()
    {
        write();
        return ok_;
    }

private:
    static constexpr qsizetype kBlock = 1 << 20;

    void spill()
    {
        if (buffer_.size() >= kBlock)
            write();
    }
    void write()
    {
        if (ok_ && !buffer_.isEmpty())
            ok_ = out_.write(buffer_) == buffer_.size();
        buffer_.clear();
    }

    QIODevice& out_;
    QByteArray buffer_;
    bool ok_ = true;
};

} // namespace

bool writeWalkMemory(const WalkMemory& memory, QIODevice& out)
{
    const FolderRecords& records = memory.records();
    std::vector<uint32_t> numberOf(records.capacity(), MemoryFolder::kNone);
    uint32_t count = 0;
    for (uint32_t i = 0; i < records.capacity(); ++i)
        if (!records[i].isFree())
            numberOf[i] = count++;

    // A location whose walk has not recorded its root yet holds nothing.
    std::vector<const MemoryLocation*> locations;
    for (const MemoryLocation& location : memory.locations())
        if (location.root != MemoryFolder::kNone)
            locations.push_back(&location);

    ByteWriter writer(out);
    writer.number(locations.size());
    for (const MemoryLocation* place : locations) {
        const MemoryLocation& location = *place;
        writer.number(uint64_t(location.rootPath.size()));
        writer.bytes(location.rootPath);
        writer.number((location.mayBeLink ? 1 : 0) | (location.complete ? 2 : 0));
        writer.number(location.lastUsed);
        writer.number(numberOf[location.root]);
    }
    writer.number(count);
    for (uint32_t i = 0; i < records.capacity(); ++i) {
        const FolderRecord& record = records[i];
        if (record.isFree())
            continue;
        writer.number(record.identity.device);
        writer.number(record.identity.inode);
        writer.number(record.parent == MemoryFolder::kNone ? 0 : uint64_t(numberOf[record.parent]) + 1);
        writer.number(record.entryInParent);
        writer.number(uint64_t(record.state));
        const RememberedListing& listing = record.listing;
        writer.number(listing.size());
        for (uint32_t e = 0; e < listing.size(); ++e) {
            const EntryHead& head = listing.head(e);
            writer.number(head.nameLength());
            writer.number(head.lengthAndFlags >> 24);
            if (const std::optional<int64_t> length = listing.length(e))
                writer.signedNumber(*length);
            if (const std::optional<int64_t> modified = listing.modified(e))
                writer.signedNumber(*modified);
            writer.bytes(listing.name(e));
        }
    }
    return writer.finish();
}

} // namespace search
