#pragma once

#include "search/match/match_criteria.h"
#include "search/memory/memory_answer.h"

#include <QByteArray>

#include <memory>
#include <vector>

namespace search {

class FoundRows;

// The memory's answer to a request as rows not yet confirmed: every remembered entry below the
// roots that the request accepts, root after root, in the order a walk would find them. It reads
// the memory as it stands; whoever changes the memory drops it first, or holds the changes back
// until it is gone, as a walk's recorder does while its search shows the answer.
class MemoryRows {
public:
    // folders: the order of folders of the last answers, taken again where it still holds, and
    // then the order of these (memory_answer.h).
    MemoryRows(const WalkMemory& memory, const std::vector<QByteArray>& roots, const MatchCriteria& criteria,
               std::vector<std::shared_ptr<AnswerFolders>>& folders);
    ~MemoryRows();

    // Whether any root is remembered: where none is, the answer is nothing at all.
    bool remembered() const { return !answers_.empty(); }
    // How many folders the answer goes over.
    size_t folders() const;
    // Adds the next rows, maxRows at the most, or with wholeFolder to the end of the last one's
    // folder; whether any are left after.
    bool next(FoundRows& rows, size_t maxRows, bool wholeFolder = false);

private:
    std::vector<std::unique_ptr<MemoryAnswer>> answers_;
    size_t at_ = 0;
    std::vector<MemoryHit> hits_;
};

} // namespace search
