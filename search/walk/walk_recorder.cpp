#include "search/walk/walk_recorder.h"

#include <pthread.h>

#include <cstring>
#include <optional>

namespace search {
namespace {

// Handed over once this full: one lock and at most one wake-up for about eight hundred folders.
// A wake-up costs the walk's thread tens of microseconds where the recorder must be scheduled
// beside it on two cores; at a hundred folders a batch they cost a warm walk some 5 %.
constexpr size_t kHandOverBytes = 256 * 1024;
constexpr size_t kBatchBytes = 384 * 1024;
// Batches kept for reuse: what the walk runs ahead of the recorder by, mostly two or three.
constexpr size_t kSpareBatches = 8;

// An entry of a chunk: these bits, its name's place among the chunk's names, and its length
// and time where it has them.
enum EntryBits : uint8_t {
    kQueued = 1,
    kIsDirectory = 2,
    kAttributesRead = 4,
    kHidden = 8,
    kHasLength = 16,
    kHasModified = 32,
};

constexpr size_t kMostEntryBytes = 1 + 2 * sizeof(uint32_t) + 2 * sizeof(int64_t);

struct Reader {
    const char* at;

    template <typename T>
    T get()
    {
        T value;
        std::memcpy(&value, at, sizeof(T));
        at += sizeof(T);
        return value;
    }
    QByteArrayView bytes(uint32_t size)
    {
        const QByteArrayView view(at, size);
        at += size;
        return view;
    }
};

} // namespace

WalkRecorder::WalkRecorder(WalkMemory& memory, bool held) : memory_(memory), held_(held), thread_([this] { run(); })
{
    pending_.bytes.resize(kBatchBytes);
}

WalkRecorder::~WalkRecorder()
{
    finish();
}

void WalkRecorder::stepDone()
{
    if (pending_.used >= kHandOverBytes)
        handOver();
}

void WalkRecorder::handOver()
{
    bool wake = false;
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(std::move(pending_));
        pending_ = Batch{};
        if (!spare_.empty()) {
            pending_ = std::move(spare_.back());
            spare_.pop_back();
        }
        wake = std::exchange(idle_, false);
    }
    if (wake)
        wake_.notify_one();
    if (pending_.bytes.empty()) // the recorder is behind: one more batch goes round
        pending_.bytes.resize(kBatchBytes);
}

void WalkRecorder::beginLocation(const QByteArray& rootPath, bool mayBeLink)
{
    const auto size = uint32_t(rootPath.size());
    char* out = room(sizeof(StepKind) + sizeof(bool) + sizeof(size) + size);
    const StepKind kind = StepKind::Location;
    std::memcpy(out, &kind, sizeof(kind));
    std::memcpy(out + sizeof(kind), &mayBeLink, sizeof(bool));
    std::memcpy(out + sizeof(kind) + sizeof(bool), &size, sizeof(size));
    std::memcpy(out + sizeof(kind) + sizeof(bool) + sizeof(size), rootPath.constData(), size);
    pending_.used += sizeof(StepKind) + sizeof(bool) + sizeof(size) + size;
    stepDone();
}

uint32_t WalkRecorder::beginRoot(const platform::EntryIdentity& identity)
{
    put(StepKind::Root, identity);
    return folders_++;
}

uint32_t WalkRecorder::beginFolder(uint32_t parent, uint32_t entry, const platform::EntryIdentity& identity)
{
    put(StepKind::Folder, parent, entry, identity);
    return folders_++;
}

void WalkRecorder::addChunk(const EntryChunk& chunk, const std::vector<uint32_t>& leaveOut)
{
    // The chunk's names go over in one copy, dots and all; each entry kept then costs a few
    // fixed bytes, written in place.
    char* out = room(1 + 2 * sizeof(uint32_t) + chunk.names.size() + chunk.entries.size() * kMostEntryBytes);
    const auto write = [&out](const auto& value) {
        std::memcpy(out, &value, sizeof(value));
        out += sizeof(value);
    };
    write(StepKind::Chunk);
    write(uint32_t(chunk.names.size()));
    std::memcpy(out, chunk.names.data(), chunk.names.size());
    out += chunk.names.size();
    char* const countAt = out;
    out += sizeof(uint32_t);
    uint32_t count = 0;
    auto left = leaveOut.begin();
    for (size_t i = 0; i < chunk.entries.size(); ++i) {
        const ListedEntry& entry = chunk.entries[i];
        if (left != leaveOut.end() && *left == i) {
            ++left;
            continue;
        }
        if (entry.kind == ListedEntry::Kind::Dot)
            continue;
        const bool queued = entry.kind == ListedEntry::Kind::Folder;
        write(uint8_t((queued ? kQueued : 0) | (entry.isDirectory ? kIsDirectory : 0)
                      | (!queued || entry.isDirectory ? kAttributesRead : 0) | (entry.hidden ? kHidden : 0)
                      | (entry.length ? kHasLength : 0) | (entry.modified ? kHasModified : 0)));
        write(entry.nameOffset);
        write(entry.nameLength);
        if (entry.length)
            write(*entry.length);
        if (entry.modified)
            write(*entry.modified);
        ++count;
    }
    std::memcpy(countAt, &count, sizeof(count));
    pending_.used = size_t(out - pending_.bytes.data());
    stepDone();
}

void WalkRecorder::endFolder(FolderState state)
{
    put(StepKind::End, state);
}

void WalkRecorder::passOver(uint32_t parent, uint32_t entry)
{
    put(StepKind::PassOver, parent, entry);
}

void WalkRecorder::endLocation(bool complete)
{
    put(StepKind::EndLocation, complete);
}

void WalkRecorder::release()
{
    {
        const std::lock_guard lock(mutex_);
        if (!std::exchange(held_, false))
            return;
    }
    wake_.notify_one();
}

void WalkRecorder::finish()
{
    if (std::exchange(finished_, true))
        return;
    release();
    put(StepKind::Finish);
    handOver();
    thread_.join();
}

void WalkRecorder::run()
{
    ::pthread_setname_np(::pthread_self(), "sorvane-record"); // for top and profilers
    std::vector<Batch> batches;
    while (true) {
        {
            std::unique_lock lock(mutex_);
            // The batches recorded last go back to the walk, their room kept.
            for (Batch& batch : batches) {
                if (spare_.size() >= kSpareBatches)
                    break;
                batch.used = 0;
                spare_.push_back(std::move(batch));
            }
            batches.clear();
            if (queue_.empty() || held_) {
                idle_ = true;
                wake_.wait(lock, [&] { return !queue_.empty() && !held_; });
            }
            batches.swap(queue_);
        }
        for (const Batch& batch : batches) {
            if (!record(batch))
                return;
        }
    }
}

bool WalkRecorder::record(const Batch& batch)
{
    Reader in{batch.bytes.data()};
    const char* const end = batch.bytes.data() + batch.used;
    while (in.at < end) {
        switch (in.get<StepKind>()) {
        case StepKind::Location: {
            const bool mayBeLink = in.get<bool>();
            const QByteArrayView path = in.bytes(in.get<uint32_t>());
            location_ = memory_.beginLocation(path, mayBeLink);
            break;
        }
        case StepKind::Root: {
            const auto identity = in.get<platform::EntryIdentity>();
            handles_.push_back(location_ ? memory_.beginRoot(location_, identity) : MemoryFolder{});
            break;
        }
        case StepKind::Folder: {
            const auto parentNumber = in.get<uint32_t>();
            const auto entry = in.get<uint32_t>();
            const auto identity = in.get<platform::EntryIdentity>();
            const MemoryFolder parent = parentNumber < handles_.size() ? handles_[parentNumber] : MemoryFolder{};
            // An invalid parent gives an invalid handle, whose entries the memory drops.
            handles_.push_back(memory_.beginFolder(parent, entry, identity));
            break;
        }
        case StepKind::Chunk: {
            const QByteArrayView names = in.bytes(in.get<uint32_t>());
            for (auto count = in.get<uint32_t>(); count > 0; --count) {
                const auto bits = in.get<uint8_t>();
                const auto nameOffset = in.get<uint32_t>();
                const auto nameLength = in.get<uint32_t>();
                std::optional<int64_t> length, modified;
                if (bits & kHasLength)
                    length = in.get<int64_t>();
                if (bits & kHasModified)
                    modified = in.get<int64_t>();
                EntryTraits traits;
                traits.queued = bits & kQueued;
                traits.isDirectory = bits & kIsDirectory;
                traits.attributesRead = bits & kAttributesRead;
                traits.hidden = bits & kHidden;
                memory_.addEntry(names.sliced(nameOffset, nameLength), traits, length, modified);
            }
            break;
        }
        case StepKind::End:
            memory_.endFolder(in.get<FolderState>());
            break;
        case StepKind::PassOver: {
            const auto parent = in.get<uint32_t>();
            const auto entry = in.get<uint32_t>();
            if (parent < handles_.size())
                memory_.passOver(handles_[parent], entry);
            break;
        }
        case StepKind::EndLocation:
            if (location_)
                memory_.endLocation(location_, in.get<bool>());
            else
                in.get<bool>();
            location_ = 0;
            break;
        case StepKind::Finish:
            return false;
        }
    }
    return true;
}

} // namespace search
