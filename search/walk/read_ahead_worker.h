#pragma once

#include "search/match/entry_filter.h"
#include "search/walk/read_ahead_session.h"

#include <memory>

namespace search::readahead {

// One worker thread: the lane first, then its own folder, then the next waiting one.
class Worker {
public:
    Worker(std::shared_ptr<Session> session, EntryFilter filter)
        : session_(std::move(session)), filter_(std::move(filter))
    {
    }

    void run();

private:
    Task* choose();

    std::shared_ptr<Session> session_;
    EntryFilter filter_; // each worker judges with a copy of its own
    Task own_;           // a folder it began ahead of the walk, or the lane
    Task lane_;          // the lane, taken while it held a folder of its own
};

} // namespace search::readahead
