#pragma once

#include "search/walk/read_ahead_session.h"

#include <chrono>
#include <memory>

namespace search {

class EntryFilter;

namespace readahead {

// The walk's side of its lane: the chunks of the folder whose turn it is, in listing order,
// waited for while a worker reads them, or read on the walk's own thread where no worker runs.
class ReadAheadReading : public FolderReading {
public:
    // returned: where the last chunk goes once the walk is done with the folder, for the next
    // reading to hand back to the workers.
    ReadAheadReading(std::shared_ptr<Session> session, std::shared_ptr<FolderSlot> slot, EntryFilter* walkFilter,
                     EntryChunk& returned)
        : session_(std::move(session)), slot_(std::move(slot)), walkFilter_(walkFilter), returned_(returned)
    {
    }
    ~ReadAheadReading() override;
    ChunkStatus next(const EntryChunk*& chunk) override;
    void wait(std::chrono::nanoseconds longest) override;
    void skip(const std::shared_ptr<FolderSlot>& folder) override;
    platform::EntryIdentity folderIdentity() const override { return identity_; }
    FolderOutcome outcome() const override { return outcome_; }

private:
    std::shared_ptr<Session> session_;
    std::shared_ptr<FolderSlot> slot_;
    EntryFilter* walkFilter_; // set where no worker reads
    EntryChunk& returned_;
    Task task_;
    EntryChunk current_;
    bool ended_ = false;
    bool lastHandedOut_ = false;
    platform::EntryIdentity identity_;
    FolderOutcome outcome_ = FolderOutcome::Listed;
};

} // namespace readahead
} // namespace search
