#include "search/memory_rows.h"

#include "search/found_rows.h"

namespace search {

MemoryRows::MemoryRows(const WalkMemory& memory, const std::vector<QByteArray>& roots, const MatchCriteria& criteria)
{
    for (const QByteArray& root : roots) {
        if (const std::optional<RememberedFolder> found = memory.find(root))
            answers_.push_back(std::make_unique<MemoryAnswer>(memory, found->folder, root, criteria));
    }
}

MemoryRows::~MemoryRows() = default;

bool MemoryRows::next(FoundRows& rows, size_t maxRows)
{
    while (at_ < answers_.size()) {
        MemoryAnswer& answer = *answers_[at_];
        hits_.clear();
        const bool more = answer.next(hits_, maxRows);
        for (const MemoryHit& hit : hits_) {
            const std::optional<RememberedEntry> entry = answer.entry(hit);
            if (!entry)
                continue;
            rows.addRemembered({entry->folder, entry->name, entry->traits.isDirectory, entry->length,
                                entry->modified, entry->listedIn});
        }
        if (!more)
            ++at_;
        if (!hits_.empty())
            return at_ < answers_.size();
    }
    return false;
}

} // namespace search
