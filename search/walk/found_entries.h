#pragma once

#include "platform/files/entry_identity.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <optional>

namespace search {

// An entry the request's tests accepted, as the walk hands it on; valid during the call only.
struct FoundEntry {
    const QByteArray& folder; // as the rows show it; the root of "/" is the empty path
    QByteArrayView name;      // the file system's own bytes
    bool isDirectory = false; // a folder whose attributes could be read
    std::optional<int64_t> length; // files whose length could be read
    std::optional<int64_t> modified; // seconds since the epoch, where it could be read
    const platform::EntryIdentity& listedIn; // the folder the walk listed it in
};

// Where the walk puts what it finds, in the order found. The walk knows no row and no window:
// whoever runs it decides what an entry becomes.
class FoundEntries {
public:
    virtual ~FoundEntries() = default;
    virtual void clear() = 0; // a search starts
    virtual void add(const FoundEntry& entry) = 0;
    // The walk is done with a folder: listed to its end, or found gone, unreadable or out of
    // bounds; not where a stop cut it short.
    virtual void folderDone(const QByteArray& folder) { (void)folder; }
    // What was added since the last flush is handed on, before the window gets its turn.
    virtual void flush() = 0;
    // A folder was renamed from the window: what was found below it takes the new path.
    virtual void movePrefix(QByteArrayView from, QByteArrayView to) = 0;
};

} // namespace search
