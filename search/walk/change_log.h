#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <vector>

namespace search {

// Folders an action changed or renamed inside a yield, each with the epoch of its change: what a
// worker read of a folder before a change at or above it is out of date, and the folder is read
// afresh at its turn (a rename may have come between building a path from an open folder and
// opening it). Kept on the walk's thread.
class ChangeLog {
public:
    void changed(QByteArrayView folder, uint64_t epoch);
    // The folders logged below the old path move with it; the new path is itself a change.
    void renamed(QByteArrayView from, QByteArrayView to, uint64_t epoch);
    // Whether a change at or above the folder came after the epoch.
    bool changedSince(QByteArrayView folder, uint64_t epoch) const;

private:
    struct Change {
        QByteArray folder;
        uint64_t epoch;
    };
    std::vector<Change> changes_;
};

} // namespace search
