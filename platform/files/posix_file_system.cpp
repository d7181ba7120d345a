#include "platform/files/posix_file_system.h"

#include "platform/files/file_attributes.h"
#include "platform/files/file_descriptor.h"
#include "platform/files/mount_table.h"
#include "platform/files/open_beneath.h"
#include "platform/files/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
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

class PosixFolderListing : public FolderListing {
public:
    PosixFolderListing(std::shared_ptr<const OpenFolder> folder, int fd, EntryIdentity identity,
                       bool listsTrueInodes, const std::atomic<bool>* cancelled)
        : folder_(std::move(folder)), fd_(fd), volume_(identity.device), listsTrueInodes_(listsTrueInodes),
          cancelled_(cancelled)
    {
    }

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
                error_ = n < 0 ? errno : 0;
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

    std::optional<int64_t> modified() override
    {
        if (statDone_)
            return statOk_ ? std::optional<int64_t>(stat_.st_mtim.tv_sec) : std::nullopt;
        struct statx st;
        if (::statx(fd_, current_->d_name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_MTIME, &st) != 0
            || !(st.stx_mask & STATX_MTIME))
            return std::nullopt;
        return int64_t(st.stx_mtime.tv_sec);
    }

    std::optional<EntryIdentity> identity() override
    {
        if (!statCurrent())
            return std::nullopt;
        return identityOf(stat_);
    }

    // The listing's own number spares a lookup per folder where it is true.
    std::optional<EntryIdentity> folderIdentity() override
    {
        if (listsTrueInodes_ && !statDone_)
            return EntryIdentity{volume_, uint64_t(current_->d_ino)};
        return identity();
    }

    int error() const override { return error_; }

private:
    bool statCurrent()
    {
        if (!statDone_) {
            statOk_ = ::fstatat(fd_, current_->d_name, &stat_, AT_SYMLINK_NOFOLLOW) == 0;
            statDone_ = true;
        }
        return statOk_;
    }

    std::shared_ptr<const OpenFolder> folder_; // keeps the descriptor open
    int fd_;
    uint64_t volume_;
    bool listsTrueInodes_;
    const std::atomic<bool>* cancelled_;
    std::array<char, 32 * 1024> buffer_;
    size_t filled_ = 0;
    size_t offset_ = 0;
    bool ended_ = false;
    int error_ = 0;
    const linux_dirent64* current_ = nullptr;
    QByteArrayView name_;
    struct stat stat_;
    bool statDone_ = false;
    bool statOk_ = false;
};

class PosixOpenFolder : public OpenFolder, public std::enable_shared_from_this<PosixOpenFolder> {
public:
    PosixOpenFolder(Fd fd, EntryIdentity identity, bool listsTrueInodes)
        : fd_(std::move(fd)), identity_(identity), listsTrueInodes_(listsTrueInodes)
    {
    }
    EntryIdentity identity() const override { return identity_; }
    std::unique_ptr<FolderListing> list(const std::atomic<bool>* cancelled) override
    {
        return std::make_unique<PosixFolderListing>(shared_from_this(), fd_.get(), identity_, listsTrueInodes_,
                                                    cancelled);
    }
    int fd() const { return fd_.get(); }
    bool listsTrueInodes() const { return listsTrueInodes_; }

private:
    Fd fd_;
    EntryIdentity identity_;
    bool listsTrueInodes_;
};

} // namespace

PosixFileSystem::VolumeKind PosixFileSystem::volumeKind(uint64_t device)
{
    const std::lock_guard lock(volumeKindsMutex_);
    auto known = volumeKinds_.find(device);
    if (known != volumeKinds_.end())
        return known->second;
    VolumeKind kind;
    for (const MountEntry& mount : parseMountInfo(readMountInfo())) {
        const VolumeKind k{isVirtualFileSystemType(mount.type), platform::listsTrueInodes(mount.type)};
        volumeKinds_[mount.device] = k;
        if (mount.device == device)
            kind = k;
    }
    volumeKinds_[device] = kind;
    return kind;
}

// The kernel's count of what the process's reads fetched from storage.
std::optional<uint64_t> PosixFileSystem::bytesReadFromDisks()
{
    const Fd fd(::open("/proc/self/io", O_RDONLY | O_CLOEXEC));
    std::array<char, 512> text;
    const ssize_t n = fd ? ::read(fd.get(), text.data(), text.size() - 1) : -1;
    if (n <= 0)
        return std::nullopt;
    const QByteArrayView io(text.data(), n);
    const qsizetype at = io.indexOf("\nread_bytes: ");
    if (at < 0)
        return std::nullopt;
    bool ok = false;
    const qsizetype start = at + 13, end = io.indexOf('\n', start);
    const uint64_t bytes = io.sliced(start, (end < 0 ? n : end) - start).toULongLong(&ok);
    return ok ? std::optional<uint64_t>(bytes) : std::nullopt;
}

bool PosixFileSystem::isVirtualVolume(uint64_t volume)
{
    return volumeKind(volume).isVirtual;
}

OpenedFolder PosixFileSystem::opened(int fd, const VolumeKind* sameVolumeAs, uint64_t volume)
{
    if (fd < 0)
        return {nullptr, errno};
    Fd owned(fd);
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return {nullptr, errno};
    const EntryIdentity identity = identityOf(st);
    // Only a folder where a new volume begins needs its file system looked up.
    const bool trueInodes = sameVolumeAs && identity.device == volume ? sameVolumeAs->listsTrueInodes
                                                                      : volumeKind(identity.device).listsTrueInodes;
    return {std::make_shared<PosixOpenFolder>(std::move(owned), identity, trueInodes), 0};
}

OpenedFolder PosixFileSystem::openFolder(const QByteArray& path, bool followLink)
{
    return opened(openPath(path, followLink ? PathLinks::All : PathLinks::OnTheWay), nullptr, 0);
}

OpenedFolder PosixFileSystem::openBelow(const OpenFolder& from, QByteArrayView names)
{
    const auto& base = static_cast<const PosixOpenFolder&>(from);
    const VolumeKind same{false, base.listsTrueInodes()};
    return opened(openBeneath(base.fd(), names), &same, base.identity().device);
}

QByteArray PosixFileSystem::firstMatch(const QByteArray& pattern)
{
    if (pattern.isEmpty() || pattern.endsWith('/')) {
        // The entries inside a folder: "." comes among them, so any folder that opens has one. A
        // trailing "/" goes through a link to a folder, as everywhere in the system.
        const int fd = openPath(pattern.isEmpty() ? QByteArray(".") : withoutTrailingSlashes(pattern), PathLinks::All);
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
    const auto open = std::make_shared<PosixOpenFolder>(Fd(openPath(folder, PathLinks::OnTheWay)), EntryIdentity{}, false);
    if (open->fd() < 0)
        return {};
    const std::unique_ptr<FolderListing> listing = open->list(nullptr);
    while (listing->next())
        if (matchesNamePattern(listing->name(), last))
            return listing->name().toByteArray();
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

bool PosixFileSystem::isLinkToFolder(const QByteArray& path)
{
    const QByteArray entry = withoutTrailingSlashes(path);
    struct stat st;
    if (entry.isEmpty() || ::lstat(entry.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return false;
    return ::stat(entry.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace platform
