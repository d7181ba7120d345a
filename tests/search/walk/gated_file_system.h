#pragma once
// The fake tree behind gates, safe to share between the walk and its workers: a listing of a
// closed folder waits until the test opens it (or, where the gate heeds it, until its reader is
// cancelled); a hook may stall or slow any entry. Listings are copied whole under a lock when
// they start, so the test may change the tree from the window's thread while workers list; as a
// real directory may, a listing that already handed out an entry renamed since may hand it out
// again under its new name (where listAgain says so).
#include "tests/search/fakes.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>

namespace fakes {

class GatedFileSystem : public platform::FileSystem {
public:
    FakeFileSystem tree;
    bool gatesHeedCancel = true; // a hung disk does not
    // Runs before each entry of a listing is handed out, outside the lock.
    std::function<void(const QByteArray& folder, QByteArrayView name)> onEntry;
    // Runs when a folder is opened, under no lock, before the opening.
    std::function<void(const QByteArray& path)> onOpen;
    // Whether a listing under way hands out an entry renamed after it was handed out once more.
    std::function<bool()> listAgain;
    // Whether the walk may list on its own thread, which a gate would hang: not by default.
    bool local = false;
    // What the process has read from the disks so far; nothing where unset.
    std::function<std::optional<uint64_t>()> diskReads;

    void close(const QByteArray& folder)
    {
        const std::lock_guard lock(mutex_);
        closed_.insert(folder);
    }
    void open(const QByteArray& folder)
    {
        const std::lock_guard lock(mutex_);
        closed_.erase(folder);
        changed_.notify_all();
    }
    void openAll()
    {
        const std::lock_guard lock(mutex_);
        closed_.clear();
        changed_.notify_all();
    }
    bool wasRead(const QByteArray& folder)
    {
        const std::lock_guard lock(mutex_);
        return read_.count(folder) > 0;
    }
    // Waits a while for a worker to have read a folder.
    bool waitRead(const QByteArray& folder)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return read_.count(folder) > 0; });
    }
    // Listings not yet destroyed.
    size_t liveListings()
    {
        const std::lock_guard lock(mutex_);
        return listings_.size();
    }
    int listingsUnderWay()
    {
        const std::lock_guard lock(mutex_);
        return underWay_;
    }
    template <class Change>
    void change(Change&& change)
    {
        const std::lock_guard lock(mutex_);
        change(tree);
    }
    void removeFromTree(const QByteArray& path)
    {
        change([&](FakeFileSystem& t) { t.remove(path); });
    }
    void renameInTree(const QByteArray& from, const QByteArray& to)
    {
        const std::lock_guard lock(mutex_);
        const FakeFileSystem::Node* folder = tree.find(platform::containingFolder(from));
        const uint64_t inode = folder ? folder->inode : 0;
        tree.rename(from, to);
        for (Snapshot* listing : listings_)
            if (listing->folderInode() == inode && listAgain && listAgain())
                listing->listAgain(platform::lastComponent(from), platform::lastComponent(to));
    }
    std::vector<QByteArray> listedOrder()
    {
        const std::lock_guard lock(mutex_);
        return readOrder_;
    }

    platform::OpenedFolder openFolder(const QByteArray& path, bool followLink) override
    {
        if (onOpen)
            onOpen(path);
        const std::lock_guard lock(mutex_);
        return wrap(tree.openFolder(path, followLink));
    }
    platform::OpenedFolder openBelow(const platform::OpenFolder& from, QByteArrayView names) override
    {
        const FakeFileSystem::Open& base = *static_cast<const Open&>(from).inner;
        if (onOpen) {
            std::unique_lock lock(mutex_);
            const QByteArray path = platform::joinPath(tree.pathOf(base.inode), names);
            lock.unlock();
            onOpen(path);
        }
        const std::lock_guard lock(mutex_);
        return wrap(tree.openBelow(base, names));
    }
    bool listsLocally(uint64_t) override { return local; }
    std::optional<ProcessUsage> processUsage() override
    {
        const std::optional<uint64_t> read = diskReads ? diskReads() : std::nullopt;
        return read ? std::optional(ProcessUsage{*read, std::nullopt}) : std::nullopt;
    }
    bool isVirtualVolume(uint64_t volume) override
    {
        const std::lock_guard lock(mutex_);
        return tree.isVirtualVolume(volume);
    }
    QByteArray firstMatch(const QByteArray& pattern) override
    {
        const std::lock_guard lock(mutex_);
        return tree.firstMatch(pattern);
    }
    std::optional<uint32_t> attributes(const QByteArray& path) override
    {
        const std::lock_guard lock(mutex_);
        return tree.attributes(path);
    }
    bool isLinkToFolder(const QByteArray& path) override
    {
        const std::lock_guard lock(mutex_);
        return tree.isLinkToFolder(path);
    }

private:
    struct Entry {
        QByteArray name;
        std::optional<uint32_t> attributes;
        std::optional<int64_t> length;
        std::optional<int64_t> modified;
        std::optional<platform::EntryIdentity> identity;
    };

    class Snapshot : public platform::FolderListing {
    public:
        // Made and registered under the file system's lock.
        Snapshot(GatedFileSystem& fs, QByteArray folder, uint64_t inode, std::deque<Entry> entries,
                 const std::atomic<bool>* cancelled)
            : fs_(fs), folder_(std::move(folder)), inode_(inode), entries_(std::move(entries)), cancelled_(cancelled)
        {
            fs_.listings_.insert(this);
        }
        ~Snapshot() override
        {
            const std::lock_guard lock(fs_.mutex_);
            fs_.listings_.erase(this);
        }
        bool next() override
        {
            if (at_ == size_t(-1) && !fs_.passGate(folder_, cancelled_))
                return false;
            {
                const std::lock_guard lock(fs_.mutex_);
                if (++at_ >= entries_.size())
                    return false;
            }
            if (fs_.onEntry)
                fs_.onEntry(folder_, entries_[at_].name);
            return true;
        }
        uint64_t folderInode() const { return inode_; }
        // Under the file system's lock.
        void listAgain(QByteArrayView from, QByteArrayView to)
        {
            for (size_t i = 0; i <= at_ && i < entries_.size() && at_ != size_t(-1); ++i)
                if (entries_[i].name == from) {
                    Entry again = entries_[i];
                    again.name = to.toByteArray();
                    entries_.push_back(std::move(again));
                    return;
                }
        }
        QByteArrayView name() const override { return entries_[at_].name; }
        std::optional<uint32_t> attributes() override { return entries_[at_].attributes; }
        std::optional<int64_t> length() override { return entries_[at_].length; }
        std::optional<int64_t> modified() override { return entries_[at_].modified; }
        std::optional<platform::EntryIdentity> identity() override { return entries_[at_].identity; }

    private:
        GatedFileSystem& fs_;
        QByteArray folder_;
        uint64_t inode_;
        std::deque<Entry> entries_; // an entry listed again goes at the end; the others stay put
        const std::atomic<bool>* cancelled_;
        size_t at_ = size_t(-1);
    };

    struct Open : platform::OpenFolder {
        Open(GatedFileSystem& fs, std::shared_ptr<platform::OpenFolder> inner)
            : fs(fs), inner(std::static_pointer_cast<FakeFileSystem::Open>(inner))
        {
        }
        std::optional<platform::FolderStatus> status() override { return inner->status(); }
        std::unique_ptr<platform::FolderListing> list(const std::atomic<bool>* cancelled) override
        {
            const std::lock_guard lock(fs.mutex_);
            const QByteArray path = fs.tree.pathOf(inner->inode);
            std::deque<Entry> entries;
            const std::unique_ptr<platform::FolderListing> listing = inner->list(cancelled);
            while (listing->next())
                entries.push_back({listing->name().toByteArray(), listing->attributes(), listing->length(),
                                   listing->modified(), listing->identity()});
            return std::make_unique<Snapshot>(fs, path, inner->inode, std::move(entries), cancelled);
        }
        GatedFileSystem& fs;
        std::shared_ptr<FakeFileSystem::Open> inner;
    };

    platform::OpenedFolder wrap(platform::OpenedFolder opened)
    {
        if (opened.folder)
            opened.folder = std::make_shared<Open>(*this, std::move(opened.folder));
        return opened;
    }

    // As a disk would, the gate knows nothing of the reader's cancel; it looks now and then.
    bool passGate(const QByteArray& folder, const std::atomic<bool>* cancelled)
    {
        std::unique_lock lock(mutex_);
        ++underWay_;
        while (closed_.count(folder) && !(gatesHeedCancel && cancelled && cancelled->load()))
            changed_.wait_for(lock, std::chrono::milliseconds(2));
        read_.insert(folder);
        readOrder_.push_back(folder);
        --underWay_;
        changed_.notify_all();
        return true;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::set<QByteArray> closed_;
    std::set<Snapshot*> listings_; // under way
    std::set<QByteArray> read_;
    std::vector<QByteArray> readOrder_;
    int underWay_ = 0;
};

} // namespace fakes
