#pragma once

#include "platform/files/entry_identity.h"
#include "platform/files/file_attributes.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <limits>
#include <optional>

namespace search {

// What the walk learnt of an entry beside its name, as few bits as the entry filter needs to
// judge it again later under another request.
struct EntryTraits {
    bool queued = false;         // the walk queues it as a folder: a directory, or attributes unread
    bool isDirectory = false;    // a folder whose attributes could be read
    bool attributesRead = false;
    bool hidden = false;         // the hidden or the system bit

    // The traits of an entry whose attributes the listing gave (nothing: they could not be read),
    // by the walk's own rule: an entry it cannot tell is queued as a folder.
    static EntryTraits fromAttributes(std::optional<uint32_t> attributes)
    {
        EntryTraits traits;
        traits.attributesRead = attributes.has_value();
        traits.isDirectory = attributes && (*attributes & platform::Directory);
        traits.queued = !attributes || traits.isDirectory;
        traits.hidden = attributes && (*attributes & (platform::Hidden | platform::System));
        return traits;
    }

    // The attributes as the entry filter is given them: the bits it reads, or nothing.
    std::optional<uint32_t> attributes() const
    {
        if (!attributesRead)
            return std::nullopt;
        return (hidden ? uint32_t(platform::Hidden) : 0u) | (isDirectory ? uint32_t(platform::Directory) : 0u);
    }

    friend bool operator==(const EntryTraits&, const EntryTraits&) = default;
};

// How a folder's last listing ended.
enum class FolderState : uint8_t {
    Listed,     // to its end
    Stopped,    // a stop cut it short: what it holds was listed, the rest is unknown
    Unreadable, // there, but it could not be read, in full or in part
    Gone,       // nothing there any more, or something else in its place: it answers nothing
};
constexpr int kFolderStates = 4;

// A folder's record in the memory, as the walk and the answers hold it. The serial changes each
// time the folder is listed again or forgotten, so a handle kept from before names nothing.
struct MemoryFolder {
    static constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();
    uint32_t index = kNone;
    uint64_t serial = 0;

    bool valid() const { return index != kNone; }
    friend bool operator==(const MemoryFolder&, const MemoryFolder&) = default;
};

// A remembered folder that a path leads to, and the location it was found through.
struct RememberedFolder {
    MemoryFolder folder;
    uint64_t location = 0;
    bool locationComplete = false; // the location's last walk ended by itself, not by a stop
    FolderState state = FolderState::Listed;
};

// One remembered entry, as an answer hands it on: valid until the memory next changes.
struct RememberedEntry {
    const QByteArray& folder;   // as the rows show it: joined to the path the answer was asked for
    QByteArrayView name;        // the file system's own bytes
    EntryTraits traits;
    std::optional<int64_t> length;   // where the walk read it (it does for accepted files only)
    std::optional<int64_t> modified; // seconds since the epoch, likewise
    platform::EntryIdentity listedIn; // the folder it was listed in
    MemoryFolder record;             // that folder's record, to find its listing again
};

} // namespace search
