// Folders read on the walk's own thread, a chunk at a time, so that a huge folder still lets the
// window have its turn between chunks.
#include "search/chunk_reader.h"
#include "search/entry_filter.h"
#include "search/folder_queue.h"
#include "search/folder_reading.h"

#include "platform/file_system.h"

namespace search {
namespace {

// Small enough that a chunk is read well within one yield interval even on a cold disk.
constexpr size_t kDirectChunkEntries = 256;

class DirectReading : public FolderReading {
public:
    DirectReading(std::unique_ptr<platform::FolderListing> listing, EntryFilter& filter)
        : listing_(std::move(listing)), filter_(filter)
    {
    }
    ChunkStatus next(const EntryChunk*& chunk) override
    {
        chunk = &chunk_;
        return readChunk(*listing_, filter_, chunk_, kDirectChunkEntries) ? ChunkStatus::Ready : ChunkStatus::End;
    }
    uint64_t volume() const override { return listing_->volume(); }
    platform::EntryIdentity folderIdentity() const override { return listing_->folderIdentity(); }

private:
    std::unique_ptr<platform::FolderListing> listing_;
    EntryFilter& filter_;
    EntryChunk chunk_;
};

class DirectSource : public FolderSource {
public:
    DirectSource(platform::FileSystem& fileSystem, const EntryFilter& filter)
        : fileSystem_(fileSystem), filter_(filter)
    {
    }
    std::unique_ptr<FolderReading> read(const QueuedFolder& folder) override
    {
        return readDirectly(fileSystem_, folder, filter_);
    }

private:
    platform::FileSystem& fileSystem_;
    EntryFilter filter_;
};

} // namespace

std::unique_ptr<FolderReading> readDirectly(platform::FileSystem& fileSystem, const QueuedFolder& folder,
                                            EntryFilter& filter)
{
    auto listing = fileSystem.listFolder(folder.path, boundsOf(folder));
    if (!listing)
        return nullptr;
    return std::make_unique<DirectReading>(std::move(listing), filter);
}

std::unique_ptr<FolderSource> makeDirectSource(platform::FileSystem& fileSystem, const EntryFilter& filter)
{
    return std::make_unique<DirectSource>(fileSystem, filter);
}

} // namespace search
