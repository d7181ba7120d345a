#include "platform/files/posix_open_folder.h"

#include "platform/files/file_attributes.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

namespace platform {
namespace {

struct linux_dirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

// The longest record a listing can hold: its fixed fields, a name of 255 bytes and its end,
// rounded up to eight.
constexpr size_t kLongestRecord = (offsetof(linux_dirent64, d_name) + 256 + 7) / 8 * 8;

bool isHiddenName(QByteArrayView name)
{
    return name.startsWith('.') && name != "." && name != "..";
}

// Listings keep a buffer of their own, so that another listing can run while one waits; the
// buffers go back to a small store of the thread that ends the listing, so a walk allocates none
// per folder.
class ListingStore {
public:
    ~ListingStore()
    {
        for (void* block : blocks_)
            ::operator delete(block);
    }
    void* take(size_t size)
    {
        if (blocks_.empty())
            return ::operator new(size);
        void* block = blocks_.back();
        blocks_.pop_back();
        return block;
    }
    void give(void* block)
    {
        if (blocks_.size() >= 8)
            ::operator delete(block);
        else
            blocks_.push_back(block);
    }

private:
    std::vector<void*> blocks_;
};

thread_local ListingStore listingStore;

class PosixFolderListing : public FolderListing {
public:
    PosixFolderListing(std::shared_ptr<const PosixOpenFolder> folder, const std::atomic<bool>* cancelled)
        : folder_(std::move(folder)), fd_(folder_->fd()), cancelled_(cancelled)
    {
    }

    static void* operator new(size_t size) { return listingStore.take(size); }
    static void operator delete(void* block) { listingStore.give(block); }

    bool next() override
    {
        if (offset_ >= filled_ && !fill())
            return false;
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
        return (S_ISDIR(stat_.st_mode) ? uint32_t(Directory) : 0u) | (isHiddenName(name_) ? uint32_t(Hidden) : 0u);
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
        return EntryIdentity{uint64_t(stat_.st_dev), uint64_t(stat_.st_ino)};
    }

    // The listing's own number spares a lookup per folder where it is true.
    std::optional<EntryIdentity> folderIdentity() override
    {
        if (folder_->kind().listsTrueInodes && !statDone_)
            return EntryIdentity{folder_->volume(), uint64_t(current_->d_ino)};
        return identity();
    }

    std::optional<uint64_t> ownInode() override
    {
        const VolumeKind& kind = folder_->kind();
        if (!kind.listsTrueInodes || (!read_ && !fill()))
            return std::nullopt;
        if (!ownInode_ || *ownInode_ == kind.subvolumeRoot)
            return std::nullopt;
        return ownInode_;
    }

    int error() const override { return error_; }

private:
    // The next part of the listing into the buffer; false at its end, or where it failed (a
    // failed read ends the folder rather than handing out an entry twice).
    bool fill()
    {
        if (ended_ || (cancelled_ && cancelled_->load(std::memory_order_relaxed)))
            return false;
        if (read_ && folder_->kind().fillsWholeBuffer && buffer_.size() - filled_ >= kLongestRecord) {
            ended_ = true; // room was left for any entry: the last part was the end
            return false;
        }
        long n;
        do {
            n = ::syscall(SYS_getdents64, fd_, buffer_.data(), buffer_.size());
        } while (n < 0 && errno == EINTR);
        if (n <= 0) {
            error_ = n < 0 ? errno : 0;
            ended_ = true;
            return false;
        }
        filled_ = size_t(n);
        offset_ = 0;
        if (!read_) { // "." may stand anywhere in it (in hash order on ext4)
            read_ = true;
            for (size_t at = 0; at < filled_;) {
                const auto* entry = reinterpret_cast<const linux_dirent64*>(buffer_.data() + at);
                if (entry->d_name[0] == '.' && entry->d_name[1] == '\0') {
                    ownInode_ = uint64_t(entry->d_ino);
                    break;
                }
                at += entry->d_reclen;
            }
        }
        return true;
    }

    bool statCurrent()
    {
        if (!statDone_) {
            statOk_ = ::fstatat(fd_, current_->d_name, &stat_, AT_SYMLINK_NOFOLLOW) == 0;
            statDone_ = true;
        }
        return statOk_;
    }

    std::shared_ptr<const PosixOpenFolder> folder_; // keeps the descriptor open
    int fd_;
    const std::atomic<bool>* cancelled_;
    size_t filled_ = 0;
    size_t offset_ = 0;
    bool read_ = false; // the first part was read
    bool ended_ = false;
    int error_ = 0;
    std::optional<uint64_t> ownInode_;
    const linux_dirent64* current_ = nullptr;
    QByteArrayView name_;
    struct stat stat_;
    bool statDone_ = false;
    bool statOk_ = false;
    alignas(linux_dirent64) std::array<char, 32 * 1024> buffer_;
};

} // namespace

std::optional<FolderStatus> PosixOpenFolder::status()
{
    if (status_)
        return status_;
    struct statx st;
    if (::statx(fd_.get(), "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_INO, &st) != 0)
        return std::nullopt;
    FolderStatus status;
    status.identity = identityOf(st);
    // Kernels before 5.8 do not say: a bind mount of the same volume then looks like a folder
    // swapped for another.
    status.mountRoot = (st.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (st.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    if (status.identity.device != volume_) {
        kind_ = fileSystem_.volumeKind(status.identity.device);
        volume_ = status.identity.device;
    }
    status_ = status;
    return status;
}

std::unique_ptr<FolderListing> PosixOpenFolder::list(const std::atomic<bool>* cancelled)
{
    return std::make_unique<PosixFolderListing>(shared_from_this(), cancelled);
}

} // namespace platform
