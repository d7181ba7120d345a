#pragma once

#include "platform/files/file_descriptor.h"

#include <QByteArray>

#include <sys/stat.h>
#include <vector>

namespace platform {

// Walks a folder tree depth first by descriptors, never following a link, whatever its depth or
// the length of its paths, with a bounded number of descriptors open: folders far above the
// current one are closed, and opened again through ".." when the walk comes back to them, which
// must find the very folder it left. Each folder may have a companion (a copy's destination),
// kept and opened again alike.
//
// The caller drives it: every entry of a folder comes as an Entry step (a folder among them goes
// in only when the caller calls descend), and every folder whose entries have all come, as a
// FolderDone step, the deepest first.
class FolderTreeCursor {
public:
    struct Step {
        enum Kind { Entry, FolderDone } kind = Entry;
        // Entry: the folder that holds the entry. FolderDone: the parent of the finished folder.
        int folder = -1, peer = -1;
        QByteArray name;
        // Entry: the entry's own status, or the errno of reading it.
        struct stat st {};
        int statError = 0;
        // FolderDone: the finished folder and its companion, still open.
        int doneFolder = -1, donePeer = -1;
    };

    // The walk of top, an open folder named topName in topParent; the companions may be absent
    // (-1 and an empty Fd). The parents stay the caller's.
    FolderTreeCursor(int topParent, int topParentPeer, const QByteArray& topName, Fd top, Fd topPeer);

    // Reads the top folder's names; an errno when it cannot.
    int begin();

    // The next step; false at the end, or on an error that stops the walk (see error()).
    bool next(Step& step);
    int error() const { return error_; }

    // After an Entry step for a folder: goes into it, given it open (and its companion). An errno
    // when its names cannot be read; the walk then goes on beside it.
    int descend(Fd folder, Fd peer);

    // Ends the walk early: the folders entered come back as FolderDone steps, without the rest of
    // their entries.
    void abandon() { abandoned_ = true; }

    // The path of an entry of the current folder, from the top folder's name.
    QByteArray pathOf(const QByteArray& name) const;

    // How many descriptors the walk keeps open at most, companions apart.
    static constexpr size_t kOpenFolders = 24;

private:
    struct Frame {
        QByteArray name;
        Fd fd, peer;
        struct stat id {}, peerId {};
        std::vector<QByteArray> names;
        size_t next = 0;
    };

    int push(QByteArray name, Fd folder, Fd peer);
    int reopen(size_t index);

    int topParent_, topParentPeer_;
    std::vector<Frame> stack_;
    size_t firstOpen_ = 0; // frames before it have their descriptors closed
    bool popPending_ = false;
    bool abandoned_ = false;
    int error_ = 0;
};

} // namespace platform
