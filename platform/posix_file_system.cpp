#include "platform/posix_file_system.h"

#include "platform/file_attributes.h"
#include "platform/mount_table.h"
#include "platform/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>

namespace platform {
namespace {

struct linux_dirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

bool isHiddenName(QByteArrayView name)
{
    return name.startsWith('.') && name != "." && name != "..";
}

uint32_t attributesFromStat(const struct stat& st, QByteArrayView name)
{
    uint32_t bits = 0;
    if (S_ISDIR(st.st_mode))
        bits |= Directory;
    if (isHiddenName(name))
        bits |= Hidden;
    return bits;
}

// "*" and "?" only: the existence test knows no other wildcard, so every other byte is literal.
bool matchesNamePattern(QByteArrayView name, QByteArrayView pattern)
{
    qsizetype n = 0, p = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// A path longer than the kernel takes at once is opened a stretch of components at a time, each
// stretch relative to the folder before it, so a walk has no depth limit.
int openLongPath(const QByteArray& path, int lastFlags)
{
    constexpr qsizetype kStretch = PATH_MAX / 2;
    const bool absolute = path.startsWith('/');
    int dir = absolute ? ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC) : AT_FDCWD;
    if (dir == -1)
        return -1;
    qsizetype start = absolute ? 1 : 0;
    while (true) {
        const bool last = path.size() - start < kStretch;
        const qsizetype end = last ? path.size() : path.lastIndexOf('/', start + kStretch);
        int next = -1;
        if (last || end > start) {
            const QByteArray stretch = path.mid(start, end - start);
            next = ::openat(dir, stretch.constData(), last ? lastFlags : O_PATH | O_DIRECTORY | O_CLOEXEC);
        } else {
            errno = ENAMETOOLONG; // one component longer than any name may be
        }
        const int error = errno;
        if (dir != AT_FDCWD)
            ::close(dir);
        errno = error;
        if (last || next < 0)
            return next;
        dir = next;
        start = end + 1;
    }
}

int openFolder(const QByteArray& path, bool followLink = false)
{
    const int flags = kFolderFlags | (followLink ? 0 : O_NOFOLLOW);
    if (path.size() < PATH_MAX)
        return ::open(path.isEmpty() ? "/" : path.constData(), flags);
    return openLongPath(path, flags);
}

class PosixFolderListing : public FolderListing {
public:
    PosixFolderListing(int fd, EntryIdentity folder, const std::atomic<bool>* cancelled = nullptr)
        : fd_(fd), volume_(folder.device), folder_(folder), cancelled_(cancelled)
    {
    }
    ~PosixFolderListing() override { ::close(fd_); }

    bool next() override
    {
        if (offset_ >= filled_) {
            if (ended_ || (cancelled_ && cancelled_->load(std::memory_order_relaxed)))
                return false;
            long n;
            do {
                n = ::syscall(SYS_getdents64, fd_, buffer_.data(), buffer_.size());
            } while (n < 0 && errno == EINTR);
            // A failed fetch ends the folder rather than handing out an entry twice.
            if (n <= 0) {
                ended_ = true;
                return false;
            }
            filled_ = size_t(n);
            offset_ = 0;
        }
        current_ = reinterpret_cast<const linux_dirent64*>(buffer_.data() + offset_);
        offset_ += current_->d_reclen;
        name_ = QByteArrayView(current_->d_name, qsizetype(std::strlen(current_->d_name)));
        statDone_ = false;
        return true;
    }

    QByteArrayView name() const override { return name_; }

    std::optional<uint32_t> attributes() override
    {
        const unsigned char type = current_->d_type;
        if (type != DT_UNKNOWN)
            return (type == DT_DIR ? uint32_t(Directory) : 0u) | (isHiddenName(name_) ? uint32_t(Hidden) : 0u);
        if (!statCurrent())
            return std::nullopt;
        return attributesFromStat(stat_, name_);
    }

    std::optional<int64_t> length() override
    {
        if (!statCurrent())
            return std::nullopt;
        return int64_t(stat_.st_size);
    }

    std::optional<EntryIdentity> identity() override
    {
        if (!statCurrent())
            return std::nullopt;
        return EntryIdentity{uint64_t(stat_.st_dev), uint64_t(stat_.st_ino)};
    }

    uint64_t volume() const override { return volume_; }
    EntryIdentity folderIdentity() const override { return folder_; }

private:
    bool statCurrent()
    {
        if (!statDone_) {
            statOk_ = ::fstatat(fd_, current_->d_name, &stat_, AT_SYMLINK_NOFOLLOW) == 0;
            statDone_ = true;
        }
        return statOk_;
    }

    int fd_;
    uint64_t volume_;
    EntryIdentity folder_;
    const std::atomic<bool>* cancelled_;
    std::array<char, 32 * 1024> buffer_;
    size_t filled_ = 0;
    size_t offset_ = 0;
    bool ended_ = false;
    const linux_dirent64* current_ = nullptr;
    QByteArrayView name_;
    struct stat stat_;
    bool statDone_ = false;
    bool statOk_ = false;
};

} // namespace

bool PosixFileSystem::isVirtualVolume(uint64_t device)
{
    const std::lock_guard lock(virtualByDeviceMutex_);
    auto known = virtualByDevice_.find(device);
    if (known != virtualByDevice_.end())
        return known->second;
    bool isVirtual = false;
    for (const MountEntry& mount : parseMountInfo(readMountInfo())) {
        const bool v = isVirtualFileSystemType(mount.type);
        virtualByDevice_[mount.device] = v;
        if (mount.device == device)
            isVirtual = v;
    }
    virtualByDevice_[device] = isVirtual;
    return isVirtual;
}

std::unique_ptr<FolderListing> PosixFileSystem::listFolder(const QByteArray& folderPath,
                                                           const ListingBounds& bounds)
{
    const int fd = openFolder(folderPath, bounds.followLink);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return nullptr;
    }
    const uint64_t volume = st.st_dev;
    // Only a folder where a new volume begins needs its file system looked at.
    if (volume != bounds.parentVolume
        && ((bounds.sameVolumeOnly && bounds.parentVolume != 0) || isVirtualVolume(volume))) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixFolderListing>(fd, EntryIdentity{volume, uint64_t(st.st_ino)}, bounds.cancelled);
}

QByteArray PosixFileSystem::firstMatch(const QByteArray& pattern)
{
    if (pattern.isEmpty() || pattern.endsWith('/')) {
        // The entries inside a folder: "." comes among them, so any folder that opens has one. A
        // trailing "/" goes through a link to a folder, as everywhere in the system.
        const int fd = openFolder(pattern.isEmpty() ? QByteArray(".") : withoutTrailingSlashes(pattern), true);
        if (fd < 0)
            return {};
        ::close(fd);
        return ".";
    }
    const QByteArrayView last = lastComponent(pattern);
    if (!last.contains('*') && !last.contains('?')) {
        struct stat st;
        return ::lstat(pattern.constData(), &st) == 0 ? last.toByteArray() : QByteArray();
    }
    const qsizetype slash = pattern.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : pattern.left(slash);
    const int fd = openFolder(folder);
    if (fd < 0)
        return {};
    PosixFolderListing listing(fd, {});
    while (listing.next())
        if (matchesNamePattern(listing.name(), last))
            return listing.name().toByteArray();
    return {};
}

std::optional<uint32_t> PosixFileSystem::attributes(const QByteArray& path)
{
    const QByteArray entry = withoutTrailingSlashes(path);
    struct stat st;
    if (entry.isEmpty() || ::lstat(entry.constData(), &st) != 0)
        return std::nullopt;
    uint32_t bits = attributesFromStat(st, lastComponent(entry));
    int writable = ::faccessat(AT_FDCWD, entry.constData(), W_OK, AT_SYMLINK_NOFOLLOW | AT_EACCESS);
    if (writable != 0 && errno == EINVAL) // kernels without faccessat2
        writable = ::faccessat(AT_FDCWD, entry.constData(), W_OK, AT_EACCESS);
    if (writable != 0)
        bits |= ReadOnly;
    return bits;
}

std::optional<int64_t> PosixFileSystem::fileLength(const QByteArray& path)
{
    struct stat st;
    if (::lstat(withoutTrailingSlashes(path).constData(), &st) != 0)
        return std::nullopt;
    return int64_t(st.st_size);
}

bool PosixFileSystem::isLinkToFolder(const QByteArray& path)
{
    const QByteArray entry = withoutTrailingSlashes(path);
    struct stat st;
    if (entry.isEmpty() || ::lstat(entry.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return false;
    return ::stat(entry.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace platform
