#include "platform/files/posix_file_system.h"

#include "platform/files/posix_open_folder.h"

#include "platform/files/file_attributes.h"
#include "platform/files/file_descriptor.h"
#include "platform/files/mount_table.h"
#include "platform/files/open_beneath.h"
#include "platform/files/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace platform {
namespace {

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

} // namespace

VolumeKind PosixFileSystem::volumeKind(uint64_t device)
{
    const std::lock_guard lock(volumeKindsMutex_);
    auto known = volumeKinds_.find(device);
    if (known != volumeKinds_.end())
        return known->second;
    VolumeKind kind;
    for (const MountEntry& mount : parseMountInfo(readMountInfo())) {
        VolumeKind k;
        k.isVirtual = isVirtualFileSystemType(mount.type);
        k.listsTrueInodes = platform::listsTrueInodes(mount.type);
        k.local = isLocalFileSystem(mount);
        k.subvolumeRoot = mount.type == "btrfs" ? 256 : 0;
        k.fillsWholeBuffer = platform::fillsWholeListingBuffer(mount.type);
        volumeKinds_[mount.device] = k;
        if (mount.device == device)
            kind = k;
    }
    volumeKinds_[device] = kind;
    return kind;
}

// The kernel's count of what the process's reads fetched from storage (in blocks of 512 bytes)
// and its processor time: one system call, where /proc/self/io would take three.
std::optional<FileSystem::ProcessUsage> PosixFileSystem::processUsage()
{
    struct rusage usage;
    if (::getrusage(RUSAGE_SELF, &usage) != 0)
        return std::nullopt;
    const auto time = [](const timeval& t) { return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec); };
    return ProcessUsage{uint64_t(usage.ru_inblock) * 512, time(usage.ru_utime) + time(usage.ru_stime)};
}

bool PosixFileSystem::isVirtualVolume(uint64_t volume)
{
    return volumeKind(volume).isVirtual;
}

bool PosixFileSystem::listsLocally(uint64_t volume)
{
    return volumeKind(volume).local;
}

// No status is read here: the walk knows most folders by their listing's ".".
OpenedFolder PosixFileSystem::openFolder(const QByteArray& path, bool followLink)
{
    const int fd = openPath(path, followLink ? PathLinks::All : PathLinks::OnTheWay);
    if (fd < 0)
        return {nullptr, errno};
    return {std::make_shared<PosixOpenFolder>(Fd(fd), 0, VolumeKind{}, *this), 0};
}

// Opened on its parent's volume as far as anyone knows until its status is asked.
OpenedFolder PosixFileSystem::openBelow(const OpenFolder& from, QByteArrayView names)
{
    const auto& base = static_cast<const PosixOpenFolder&>(from);
    const int fd = openBeneath(base.fd(), names);
    if (fd < 0)
        return {nullptr, errno};
    return {std::make_shared<PosixOpenFolder>(Fd(fd), base.volume(), base.kind(), *this), 0};
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
    const auto open = std::make_shared<PosixOpenFolder>(Fd(openPath(folder, PathLinks::OnTheWay)), 0, VolumeKind{}, *this);
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
