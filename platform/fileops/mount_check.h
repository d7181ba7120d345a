#pragma once

#include <QByteArray>

#include <sys/stat.h>

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

    // The status a check decides from: the entry name in the folder open at folderFd (the folder
    // itself for ""), a link not followed, with its mount id where the kernel reports it. 0, or
    // the errno of reading it.
    static int status(int folderFd, const char* name, struct statx& out);

    // Whether the entry name in the folder open at folderFd, of any kind, is where a mount begins,
    // from both their statuses as status() reads them.
    bool isMountRoot(int folderFd, const struct statx& folder, const char* name, const struct statx& entry);
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
