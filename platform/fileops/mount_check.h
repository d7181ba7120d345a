#pragma once

#include <QByteArray>

#include <vector>

namespace platform {

// Tells where another mount begins, bind mounts of the same volume included (they share its
// device number), whether on a folder or on a file bound over a file. The kernel says so where it
// reports mount ids (statx); elsewhere the mount table does, read once per check object. When it
// cannot tell, every answer is yes: a mount is never entered or emptied on a guess.
class MountCheck {
public:
    enum class Source { Kernel, MountTable };

    MountCheck(); // the kernel where it reports mount ids, else the mount table
    explicit MountCheck(Source source) : source_(source) {}

    // Whether the folder open at folderFd lies on another mount than its parent, open at parentFd.
    bool isMountRoot(int parentFd, int folderFd);
    // Whether the entry name in the folder open at folderFd, of any kind, is where a mount begins.
    // An entry that has gone is none.
    bool isMountRoot(int folderFd, const char* name);
    // Whether a mount begins at or anywhere below the folder open at folderFd, from the mount
    // table: for a folder that cannot be looked into without changing its permissions.
    bool holdsMount(int folderFd);

    Source source() const { return source_; }

private:
    void readTable();
    bool listedInMountTable(const QByteArray& path);

    Source source_;
    bool tableRead_ = false;
    std::vector<QByteArray> mountPoints_; // sorted
};

} // namespace platform
