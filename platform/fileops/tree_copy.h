#pragma once

#include "platform/fileops/mount_check.h"
#include "platform/files/entry_identity.h"
#include "platform/files/file_descriptor.h"

#include <QByteArray>

#include <sys/stat.h>
#include <vector>

namespace platform {

class OperationProgress;
class TreeVisitor;
struct TreeEntry;
struct TreeFolderDone;

// The copy of one folder tree: a visit of the source, beside which the copy keeps the
// destination's folder for each source folder the visit is in, closing those far above and
// opening them again through ".." as the visit does, so that neither depth nor path length limits
// it. It goes on past what it cannot copy: an entry that cannot be read or written is skipped and
// the first such error is the result. Sockets, pipes and device nodes are no data to copy and are
// left out without an error; so is a file that another mount is bound over, as what a mounted
// folder holds is. Only a cancel, a full or read-only destination, or a tree that moved under the
// walk stops it early. Every folder it made gets its source's permission bits and times, also
// when it stopped inside it, and one that a cancel left empty goes; but where the tree moved under
// the walk, the folders it was in keep the owner-only mode they were made with.
class TreeCopy {
public:
    // The source's folder, the destination's, and the source folder's path for the progress.
    TreeCopy(int srcParent, int dstParent, const QByteArray& srcFolderPath, OperationProgress* progress);

    // Copies the folder srcName (whose status is source) into dstName; 0, the first error of an
    // entry skipped, or the error that stopped it (ECANCELED for a cancel).
    int run(const QByteArray& srcName, const struct statx& source, const QByteArray& dstName);

    // The bytes of the regular files the copy of srcName would write, for the progress' total.
    int64_t measure(const QByteArray& srcName, const struct statx& source);

    // Whether anything the copy wrote stays at the destination.
    bool copiedAny() const { return copiedAny_; }

private:
    // A folder of the destination, for a source folder the visit is in.
    struct Made {
        struct statx source {};
        bool created = false;
        QByteArray name;       // in its parent at the destination
        Fd fd;                 // closed for the folders far above the current one
        EntryIdentity identity; // as opened, to know it again
    };

    int copyEntry(const TreeVisitor& tree, const TreeEntry& entry);
    int enterFolder(TreeVisitor& tree, const TreeEntry& entry);
    int finishMade(int dstParent, const TreeEntry& entry, bool created);
    void note(int error);
    int folderDone(const TreeFolderDone& done);
    void push(Made made);
    int reopenLast(int childFd);

    int srcParent_, dstParent_;
    QByteArray srcFolderPath_;
    OperationProgress* progress_;
    MountCheck mounts_; // one for the measure and the copy
    EntryIdentity dstTop_;
    std::vector<Made> made_; // one for each folder the walk is in
    size_t firstOpen_ = 0;   // those before it have their descriptors closed
    bool lost_ = false;      // a folder of the destination moved under the copy: the rest are left as they are
    int firstError_ = 0;
    bool copiedAny_ = false;
};

} // namespace platform
