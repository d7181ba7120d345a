#include "search/memory_rows.h"

#include "search/found_rows.h"

#include <algorithm>

namespace search {

MemoryRows::MemoryRows(const WalkMemory& memory, const std::vector<QByteArray>& roots, const MatchCriteria& criteria,
                       std::vector<std::shared_ptr<AnswerFolders>>& folders)
{
    std::vector<std::shared_ptr<AnswerFolders>> used;
    for (const QByteArray& root : roots) {
        const std::optional<RememberedFolder> found = memory.find(root);
        if (!found)
            continue;
        // The answer itself tells whether they still hold (memory_answer.h).
        const auto earlier = std::find_if(folders.begin(), folders.end(),
                                          [&](const auto& f) { return f && f->start == found->folder; });
        std::shared_ptr<AnswerFolders> taken; // given away, so that folders out of date are made in its blocks
        if (earlier != folders.end())
            taken = std::move(*earlier);
        answers_.push_back(std::make_unique<MemoryAnswer>(memory, found->folder, root, criteria, AnswerPolicy{},
                                                          std::move(taken)));
        used.push_back(answers_.back()->sharedFolders());
    }
    folders = std::move(used);
}

MemoryRows::~MemoryRows() = default;

size_t MemoryRows::folders() const
{
    size_t folders = 0;
    for (const std::unique_ptr<MemoryAnswer>& answer : answers_)
        folders += answer->folders();
    return folders;
}

bool MemoryRows::next(FoundRows& rows, size_t maxRows, bool wholeFolder)
{
    while (at_ < answers_.size()) {
        MemoryAnswer& answer = *answers_[at_];
        hits_.clear();
        const bool more = answer.next(hits_, maxRows, wholeFolder);
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
