#include "search/walk/walk_recorder.h"

#include <iterator>

namespace search {

WalkRecorder::WalkRecorder(WalkMemory& memory) : memory_(memory), thread_([this] { run(); }) {}

WalkRecorder::~WalkRecorder()
{
    finish();
}

void WalkRecorder::push(Step step)
{
    pending_.push_back(std::move(step));
    // Handed over in batches: one lock and at most one wake-up for many folders, where one for
    // each would cost the walk more than the recording saves it.
    if (pending_.size() >= kStepsPerHandOver || pending_.back().kind == Step::Kind::Finish)
        handOver();
}

void WalkRecorder::handOver()
{
    bool wake = false;
    {
        const std::lock_guard lock(mutex_);
        if (queue_.empty())
            queue_.swap(pending_);
        else
            std::move(pending_.begin(), pending_.end(), std::back_inserter(queue_));
        wake = std::exchange(idle_, false);
    }
    pending_.clear();
    if (wake)
        wake_.notify_one();
}

void WalkRecorder::beginLocation(const QByteArray& rootPath, bool mayBeLink)
{
    push({.kind = Step::Kind::Location, .flag = mayBeLink, .bytes = rootPath});
}

uint32_t WalkRecorder::beginRoot(const platform::EntryIdentity& identity)
{
    push({.kind = Step::Kind::Root, .identity = identity});
    return folders_++;
}

uint32_t WalkRecorder::beginFolder(uint32_t parent, uint32_t entry, const platform::EntryIdentity& identity)
{
    push({.kind = Step::Kind::Folder, .parent = parent, .entry = entry, .identity = identity});
    return folders_++;
}

void WalkRecorder::addChunk(const EntryChunk& chunk, const std::vector<uint32_t>& leaveOut)
{
    Step step{.kind = Step::Kind::Chunk, .bytes = chunk.names, .entries = chunk.entries};
    for (const uint32_t at : leaveOut)
        step.entries[at].kind = ListedEntry::Kind::Dot;
    push(std::move(step));
}

void WalkRecorder::endFolder(FolderState state)
{
    push({.kind = Step::Kind::End, .state = state});
}

void WalkRecorder::passOver(uint32_t parent, uint32_t entry)
{
    push({.kind = Step::Kind::PassOver, .parent = parent, .entry = entry});
}

void WalkRecorder::endLocation(bool complete)
{
    push({.kind = Step::Kind::EndLocation, .flag = complete});
}

void WalkRecorder::finish()
{
    if (std::exchange(finished_, true))
        return;
    push({.kind = Step::Kind::Finish});
    thread_.join();
}

void WalkRecorder::run()
{
    std::vector<Step> steps;
    while (true) {
        {
            std::unique_lock lock(mutex_);
            if (queue_.empty()) {
                idle_ = true;
                wake_.wait(lock, [&] { return !queue_.empty(); });
            }
            steps.swap(queue_);
        }
        for (Step& step : steps) {
            if (step.kind == Step::Kind::Finish)
                return;
            record(step);
        }
        steps.clear();
    }
}

void WalkRecorder::record(Step& step)
{
    switch (step.kind) {
    case Step::Kind::Location:
        location_ = memory_.beginLocation(step.bytes, step.flag);
        break;
    case Step::Kind::Root:
        handles_.push_back(location_ ? memory_.beginRoot(location_, step.identity) : MemoryFolder{});
        break;
    case Step::Kind::Folder: {
        const MemoryFolder parent = step.parent < handles_.size() ? handles_[step.parent] : MemoryFolder{};
        // An invalid parent gives an invalid handle, whose entries the memory drops.
        handles_.push_back(memory_.beginFolder(parent, step.entry, step.identity));
        break;
    }
    case Step::Kind::Chunk:
        for (const ListedEntry& entry : step.entries) {
            if (entry.kind == ListedEntry::Kind::Dot)
                continue;
            EntryTraits traits;
            traits.queued = entry.kind == ListedEntry::Kind::Folder;
            traits.isDirectory = entry.isDirectory;
            traits.attributesRead = !traits.queued || entry.isDirectory;
            traits.hidden = entry.hidden;
            memory_.addEntry(QByteArrayView(step.bytes).sliced(entry.nameOffset, entry.nameLength), traits,
                             entry.length, entry.modified);
        }
        break;
    case Step::Kind::End:
        memory_.endFolder(step.state);
        break;
    case Step::Kind::PassOver:
        if (step.parent < handles_.size())
            memory_.passOver(handles_[step.parent], step.entry);
        break;
    case Step::Kind::EndLocation:
        if (location_)
            memory_.endLocation(location_, step.flag);
        location_ = 0;
        break;
    case Step::Kind::Finish:
        break;
    }
}

} // namespace search
