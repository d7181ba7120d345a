#include "search/memory/memory_file.h"

#include "search/memory/memory_paths.h"

#include <QIODevice>

namespace search {
namespace {

constexpr qsizetype kBlock = 1 << 20;
constexpr uint64_t kLongestRootPath = 1 << 20;
// The fewest bytes a record and an entry take in the file.
constexpr uint64_t kRecordBytes = 6, kEntryBytes = 3;
// How often the reader weighs what it built against the bound, in records.
constexpr uint32_t kWeighEvery = 4096;

// Reads the device a block at a time, never past the size it was given; any fault sticks.
class ByteReader {
public:
    ByteReader(QIODevice& in, int64_t size) : in_(in), left_(size > 0 ? uint64_t(size) : 0) {}

    bool failed() const { return failed_; }
    void fail() { failed_ = true; }
    uint64_t remaining() const { return left_ + uint64_t(buffer_.size() - at_); }

    uint64_t number()
    {
        uint64_t value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (!ensure(1))
                return 0;
            const auto byte = uint8_t(buffer_[at_++]);
            if (shift == 63 && byte > 1)
                break;
            value |= uint64_t(byte & 0x7f) << shift;
            if (!(byte & 0x80))
                return value;
        }
        fail();
        return 0;
    }
    int64_t signedNumber()
    {
        const uint64_t value = number();
        return int64_t(value >> 1) ^ -int64_t(value & 1);
    }
    // Valid until the next read.
    QByteArrayView bytes(uint64_t n)
    {
        if (n > remaining() || !ensure(qsizetype(n)))
            return {};
        const QByteArrayView view = QByteArrayView(buffer_).sliced(at_, qsizetype(n));
        at_ += qsizetype(n);
        return view;
    }

private:
    bool ensure(qsizetype n)
    {
        if (failed_)
            return false;
        while (buffer_.size() - at_ < n) {
            if (left_ == 0)
                return fail(), false;
            buffer_.remove(0, at_);
            at_ = 0;
            const qsizetype wanted = qsizetype(std::min<uint64_t>(left_, uint64_t(std::max(kBlock, n))));
            const qsizetype had = buffer_.size();
            buffer_.resize(had + wanted);
            const qint64 got = in_.read(buffer_.data() + had, wanted);
            if (got <= 0)
                return fail(), false;
            buffer_.resize(had + got);
            left_ -= uint64_t(got);
        }
        return true;
    }

    QIODevice& in_;
    uint64_t left_;
    QByteArray buffer_;
    qsizetype at_ = 0;
    bool failed_ = false;
};

bool isName(QByteArrayView name)
{
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') && !name.contains('\0');
}

// The walk's own rules for what it learnt of an entry.
bool soundFlags(uint32_t flags)
{
    const EntryHead head{0, flags};
    if ((flags & ~EntryHead::kKnownFlags) != 0)
        return false;
    if (!head.has(EntryHead::AttributesRead))
        return head.has(EntryHead::Queued) && !head.has(EntryHead::Directory) && !head.has(EntryHead::Hidden);
    return head.has(EntryHead::Queued) == head.has(EntryHead::Directory)
        && (!head.has(EntryHead::Passed) || head.has(EntryHead::Queued));
}

struct Place {
    uint64_t parent = 0; // + 1; 0: none
    uint64_t entry = 0;
};

class MemoryReader {
public:
    MemoryReader(QIODevice& in, int64_t size, MemoryBound bound) : in_(in, size), memory_(bound) {}

    std::optional<WalkMemory> read()
    {
        if (!readLocations() || !readRecords() || in_.remaining() != 0 || !link() || !acyclic() || !addLocations()
            || memory_.bytes() > memory_.bound().bytes)
            return std::nullopt;
        return std::move(memory_);
    }

private:
    bool readLocations()
    {
        const uint64_t count = in_.number();
        if (in_.failed() || count > memory_.bound().locations || count > in_.remaining() / 4)
            return false;
        for (uint64_t i = 0; i < count; ++i) {
            MemoryLocation& location = locations_.emplace_back();
            const uint64_t length = in_.number();
            if (length > kLongestRootPath)
                return false;
            location.rootPath = in_.bytes(length).toByteArray();
            const uint64_t flags = in_.number();
            location.mayBeLink = flags & 1;
            location.complete = flags & 2;
            location.lastUsed = in_.number();
            roots_.push_back(in_.number());
            if (in_.failed() || flags > 3 || !isAbsolutePath(location.rootPath) || location.rootPath.contains('\0'))
                return false;
            for (size_t j = 0; j + 1 < locations_.size(); ++j)
                if (sameComponents(locations_[j].rootPath, location.rootPath))
                    return false;
        }
        return true;
    }

    bool readRecords()
    {
        const uint64_t count = in_.number();
        if (in_.failed() || count > in_.remaining() / kRecordBytes
            || count > memory_.bound().entries + locations_.size())
            return false;
        FolderRecords& records = memory_.recordsForReading();
        for (uint64_t i = 0; i < count; ++i) {
            platform::EntryIdentity identity;
            identity.device = in_.number();
            identity.inode = in_.number();
            Place& place = places_.emplace_back();
            place.parent = in_.number();
            place.entry = in_.number();
            const uint64_t state = in_.number();
            const uint64_t entries = in_.number();
            if (in_.failed() || place.parent > count || state >= kFolderStates
                || entries > in_.remaining() / kEntryBytes
                || records.entries() + entries > memory_.bound().entries
                || (FolderState(state) == FolderState::Gone && entries > 0))
                return false;
            if (!readListing(uint32_t(entries)))
                return false;
            const uint32_t index = records.allocate();
            records.install(index, builder_.build(records.arena()), identity, FolderState(state));
            for (const uint32_t entry : passed_)
                records[index].listing.setPassed(entry);
            if (index % kWeighEvery == 0 && memory_.bytes() > memory_.bound().bytes)
                return false;
        }
        return true;
    }

    bool readListing(uint32_t entries)
    {
        builder_.clear();
        passed_.clear();
        for (uint32_t e = 0; e < entries; ++e) {
            const uint64_t nameLength = in_.number();
            const uint64_t flags = in_.number();
            if (in_.failed() || nameLength > EntryHead::kMaxNameLength || flags > 0xff
                || !soundFlags(uint32_t(flags) << 24))
                return false;
            const EntryHead head{0, uint32_t(flags) << 24};
            std::optional<int64_t> length, modified;
            if (head.has(EntryHead::HasLength))
                length = in_.signedNumber();
            if (head.has(EntryHead::HasModified))
                modified = in_.signedNumber();
            const QByteArrayView name = in_.bytes(nameLength);
            if (in_.failed() || !isName(name))
                return false;
            builder_.add(name, head.traits(), length, modified);
            if (head.has(EntryHead::Passed))
                passed_.push_back(e);
        }
        return true;
    }

    // Each record below another is led to by one queued entry of its parent, and by no other.
    bool link()
    {
        FolderRecords& records = memory_.recordsForReading();
        for (uint32_t i = 0; i < places_.size(); ++i) {
            const Place& place = places_[i];
            if (place.parent == 0)
                continue;
            const uint64_t parent = place.parent - 1;
            if (parent == i || place.entry >= records[uint32_t(parent)].listing.size())
                return false;
            const RememberedListing& listing = records[uint32_t(parent)].listing;
            const auto entry = uint32_t(place.entry);
            if (!listing.head(entry).has(EntryHead::Queued) || listing.child(entry) != RememberedListing::kNoChild)
                return false;
            records.link(i, uint32_t(parent), entry);
        }
        return true;
    }

    // Going up from any record ends at a record without parent.
    bool acyclic() const
    {
        const FolderRecords& records = memory_.records();
        enum : uint8_t { Unknown, OnTheWay, Ends };
        std::vector<uint8_t> mark(places_.size(), Unknown);
        std::vector<uint32_t> way;
        for (uint32_t i = 0; i < places_.size(); ++i) {
            way.clear();
            uint32_t at = i;
            while (at != MemoryFolder::kNone && mark[at] == Unknown) {
                mark[at] = OnTheWay;
                way.push_back(at);
                at = records[at].parent;
            }
            if (at != MemoryFolder::kNone && mark[at] == OnTheWay)
                return false;
            for (const uint32_t passed : way)
                mark[passed] = Ends;
        }
        return true;
    }

    // Every location starts at a record, and every record without a parent is a location's root.
    bool addLocations()
    {
        std::vector<bool> isRoot(places_.size());
        for (size_t i = 0; i < locations_.size(); ++i) {
            if (roots_[i] >= places_.size())
                return false;
            locations_[i].root = uint32_t(roots_[i]);
            isRoot[roots_[i]] = true;
            memory_.addLocationForReading(std::move(locations_[i]));
        }
        for (uint32_t i = 0; i < places_.size(); ++i)
            if (places_[i].parent == 0 && !isRoot[i])
                return false;
        return true;
    }

    ByteReader in_;
    WalkMemory memory_;
    std::vector<MemoryLocation> locations_;
    std::vector<uint64_t> roots_;
    std::vector<Place> places_;
    ListingBuilder builder_;
    std::vector<uint32_t> passed_;
};

} // namespace

std::optional<WalkMemory> readWalkMemory(QIODevice& in, int64_t size, MemoryBound bound)
{
    return MemoryReader(in, size, bound).read();
}

} // namespace search
