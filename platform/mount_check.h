#pragma once

#include <QByteArray>

#include <vector>

namespace platform {

// Tells whether a folder is where another mount begins, bind mounts of the same volume included
// (they share its device number). The kernel's mount ids say so where it reports them (statx);
// elsewhere the mount table does, read once per check object.
class MountCheck {
public:
    enum class Source { Kernel, MountTable };

    MountCheck(); // the kernel where it reports mount ids, else the mount table
    explicit MountCheck(Source source) : source_(source) {}

    // Whether the folder open at folderFd lies on another mount than its parent, open at parentFd.
    // When it cannot tell, the answer is yes: a mount is never entered on a guess.
    bool isMountRoot(int parentFd, int folderFd);

    Source source() const { return source_; }

private:
    bool listedInMountTable(int folderFd);

    Source source_;
    bool tableRead_ = false;
    std::vector<QByteArray> mountPoints_; // sorted
};

} // namespace platform
