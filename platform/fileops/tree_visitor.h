#pragma once

#include "platform/fileops/mount_check.h"
#include "platform/files/entry_identity.h"
#include "platform/files/file_descriptor.h"

#include <QByteArray>

#include <sys/stat.h>

#include <functional>
#include <vector>

namespace platform {

class OperationProgress;

// An entry of a folder the visit is in.
struct TreeEntry {
    int folder = -1;        // the folder that holds it
    QByteArray name;
    struct statx st {};     // its own status, as MountCheck::status reads it: a link is not followed
    int statError = 0;      // or the errno of reading it
    bool mountRoot = false; // another mount begins here, on a folder or on a file bound over a file
};

// A folder whose entries have all come, or that the visit left early (abandoned). It and its
// parent are still open.
struct TreeFolderDone {
    int parent = -1;
    QByteArray name;
    bool abandoned = false;
};

// Visits a folder tree depth first by descriptors: what the delete, its count and the copy are
// built on. It never follows a link, and neither depth nor path length limits it: a bounded number
// of descriptors stay open, the folders far above the current one are closed and opened again
// through ".." when the visit comes back to them, which must find the very folder it left. It
// keeps to the tree's own mount: every entry tells whether another mount begins there, and such a
// folder is never entered. A cancel of the progress stops the visit at the next step (ECANCELED).
class TreeVisitor {
public:
    // How folders are opened: as they are, or for a tree about to be emptied, each given the
    // owner's read, write and search bits it lacks (never for root, who needs none) just before
    // it is entered. A mode is changed by name in its parent, never through a link.
    enum class Access { AsIs, Emptying };

    // What a visit does: entry is called for every entry of every folder entered (a folder among
    // them is entered only when entry calls enter()), folderDone for every folder entered, the top
    // included, the deepest first. An errno from either stops the visit, and the folders it is in
    // then come back as abandoned.
    struct Visit {
        std::function<int(const TreeEntry&)> entry;
        std::function<int(const TreeFolderDone&)> folderDone = [](const TreeFolderDone&) { return 0; };
    };

    // The tree of the folder name in the folder open at parent, which must still be the entry
    // whose status is top. The parent stays the caller's, and so does mounts, which an operation
    // of several visits gives to each so that it looks at the mounts once.
    TreeVisitor(int parent, const QByteArray& name, const struct statx& top, Access access, MountCheck& mounts,
                OperationProgress* progress = nullptr);

    // Opens the top folder: 0, ESTALE where another entry stands there now, EBUSY for a tree to
    // empty that is where a mount begins, or the errno of opening it.
    int open();
    // Whether the top folder is where another mount begins; known once open() found the folder,
    // whether it could then be opened or not.
    bool topIsMountRoot() const { return topMountRoot_; }

    // The visit of the open top folder. 0, or the first errno of the visit, of the walk (ESTALE
    // for a folder that moved under it, which ends the visit at once) or of a cancel.
    int run(const Visit& visit);

    // From entry, for a folder: goes into it once entry returns. Where given, prepare runs once
    // the folder is open and found to be the entry, before anything of it is read; an errno from
    // it keeps the visit out. EBUSY where another mount begins there, ESTALE where another folder
    // stands in its place; else the errno of opening or reading it. The visit goes on beside a
    // folder it could not enter.
    int enter(const TreeEntry& entry, const std::function<int()>& prepare = {});

    // The path of an entry of the folder the visit is in (the folder's own for the empty name),
    // from the top folder's name.
    QByteArray pathOf(const QByteArray& name) const;

    // How many descriptors the visit keeps open at most.
    static constexpr size_t kOpenFolders = 24;

private:
    struct Frame {
        QByteArray name;
        Fd fd;
        struct statx status {}; // as opened, for the mount rule and to know it again
        std::vector<QByteArray> names;
        size_t next = 0;
    };

    int openFrame(int parentFd, const struct statx& parentStatus, const TreeEntry& entry, bool refuseMount,
                  Frame& frame);
    Fd openToEmpty(int parentFd, const TreeEntry& entry);
    bool readEntry(const Frame& frame, TreeEntry& entry);
    void push(Frame frame);
    int reopen(size_t index);
    void stop(int error);

    int parent_;
    QByteArray name_;
    EntryIdentity top_;
    Access access_;
    MountCheck& mounts_;
    OperationProgress* progress_;
    bool topMountRoot_ = false;
    std::vector<Frame> stack_;
    size_t firstOpen_ = 0; // frames before it have their descriptors closed
    int error_ = 0;        // the first; the folders the visit is in are abandoned from then on
};

// A folder's parent, opened again through ".." from the folder: to be read where it may be,
// else for use by descriptor only. What a visit comes back up a tree by.
Fd openParent(int childFd);

} // namespace platform
