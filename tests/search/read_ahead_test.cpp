// Folders read ahead on worker threads: whatever order the workers finish in, rows come in queue
// order; a stop while workers wait on the disk ends the search and joins them; a delete inside a
// yield leaves nothing of what was read ahead below it.
#include "fakes.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The fake tree behind gates: a listing of a closed folder waits until the test opens it, or
// until its reader is cancelled. Listings are copied whole under a lock, so the test may change
// the tree from the window's thread while workers list.
class GatedFileSystem : public platform::FileSystem {
public:
    fakes::FakeFileSystem tree;

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
    bool wasRead(const QByteArray& folder)
    {
        const std::lock_guard lock(mutex_);
        return read_.count(folder) > 0;
    }
    // Waits a while for a worker to have read a folder.
    bool waitRead(const QByteArray& folder)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 5s, [&] { return read_.count(folder) > 0; });
    }
    int listingsUnderWay()
    {
        const std::lock_guard lock(mutex_);
        return underWay_;
    }
    void removeFromTree(const QByteArray& path)
    {
        const std::lock_guard lock(mutex_);
        tree.remove(path);
    }
    void renameInTree(const QByteArray& from, const QByteArray& to)
    {
        const std::lock_guard lock(mutex_);
        tree.rename(from, to);
    }
    std::vector<QByteArray> listedOrder()
    {
        const std::lock_guard lock(mutex_);
        return read_order_;
    }

    std::unique_ptr<platform::FolderListing> listFolder(const QByteArray& path,
                                                        const platform::ListingBounds& bounds) override
    {
        std::unique_lock lock(mutex_);
        ++underWay_;
        // As a disk would, the gate knows nothing of the reader's cancel; it looks now and then.
        while (closed_.count(path) && !(bounds.cancelled && bounds.cancelled->load()))
            changed_.wait_for(lock, 2ms);
        auto listing = tree.listFolder(path, bounds);
        std::unique_ptr<platform::FolderListing> copy;
        if (listing)
            copy = std::make_unique<Snapshot>(*listing);
        read_.insert(path);
        read_order_.push_back(path);
        --underWay_;
        changed_.notify_all();
        return copy;
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
    std::optional<int64_t> fileLength(const QByteArray& path) override
    {
        const std::lock_guard lock(mutex_);
        return tree.fileLength(path);
    }
    bool isLinkToFolder(const QByteArray&) override { return false; }

private:
    class Snapshot : public platform::FolderListing {
    public:
        explicit Snapshot(platform::FolderListing& from) : volume_(from.volume())
        {
            while (from.next())
                entries_.push_back({from.name().toByteArray(), from.attributes(), from.length(), from.identity()});
        }
        bool next() override { return ++at_ < entries_.size(); }
        QByteArrayView name() const override { return entries_[at_].name; }
        std::optional<uint32_t> attributes() override { return entries_[at_].attributes; }
        std::optional<int64_t> length() override { return entries_[at_].length; }
        std::optional<platform::EntryIdentity> identity() override { return entries_[at_].identity; }
        uint64_t volume() const override { return volume_; }

    private:
        struct Entry {
            QByteArray name;
            std::optional<uint32_t> attributes;
            std::optional<int64_t> length;
            std::optional<platform::EntryIdentity> identity;
        };
        std::vector<Entry> entries_;
        size_t at_ = size_t(-1);
        uint64_t volume_;
    };

    std::mutex mutex_;
    std::condition_variable changed_;
    std::set<QByteArray> closed_;
    std::set<QByteArray> read_;
    std::vector<QByteArray> read_order_;
    int underWay_ = 0;
};

search::ReadAheadPolicy fourWorkers()
{
    search::ReadAheadPolicy policy;
    policy.workers = 4;
    return policy;
}

TEST(ReadAhead, RowsComeInQueueOrderWhenLaterFoldersAreReadFirst)
{
    fakes::Harness<GatedFileSystem> on(fourWorkers());
    fakes::Harness<> off;
    for (auto* tree : {&on.fs.tree, &off.fs}) {
        for (const char* path : {"/o/a/a1", "/o/a/sub/a2", "/o/b/b1", "/o/b/b2", "/o/c/c1", "/o/c/sub/c2", "/o/f"})
            tree->add(path);
    }
    on.fs.close("/o/a");
    on.controls.onYield = [&](int) {
        // The walk waits on "/o/a"; it opens only once the folders after it have been read.
        if (on.fs.wasRead("/o/b") && on.fs.wasRead("/o/c"))
            on.fs.open("/o/a");
    };
    const QStringList expected = off.search("/o");
    EXPECT_EQ(on.search("/o"), expected);
    const std::vector<QByteArray> order = on.fs.listedOrder();
    const auto at = [&](const char* folder) { return std::find(order.begin(), order.end(), folder) - order.begin(); };
    EXPECT_LT(at("/o/c"), at("/o/a")) << "the workers did not read ahead";
    EXPECT_EQ(on.controls.status[1], off.controls.status[1]);
}

TEST(ReadAhead, AStopWhileWorkersWaitOnTheDiskEndsTheSearchAndJoinsThem)
{
    fakes::Harness<GatedFileSystem> h(fourWorkers());
    for (int i = 0; i < 8; ++i) {
        const QByteArray folder = "/s/d" + QByteArray::number(i);
        h.fs.tree.add(folder + "/inside");
        h.fs.close(folder); // never opened
    }
    h.controls.onYield = [&](int) {
        // The root walked, the walk waiting on its first sub-folder, every worker on the disk.
        if (h.results.totalRows() == 8 && h.fs.listingsUnderWay() >= 4 && !h.command.state().StopRequested)
            h.command.StopSearch();
    };
    h.search("/s");
    EXPECT_EQ(h.fs.listingsUnderWay(), 0) << "a worker outlived the search";
    EXPECT_EQ(h.results.totalRows(), 8);
    EXPECT_EQ(h.controls.status[2], "已完成搜索");
}

TEST(ReadAhead, ADeleteInsideAYieldLeavesNoRowOfAFolderAlreadyReadAhead)
{
    fakes::Harness<GatedFileSystem> h(fourWorkers());
    h.fs.tree.add("/d/x/doomed/gone.txt");
    h.fs.tree.add("/d/x/doomed/deeper/gone2.txt");
    for (int i = 0; i < 50; ++i)
        h.fs.tree.add("/d/x/later" + QByteArray::number(i));
    bool deleted = false;
    h.controls.onYield = [&](int) {
        // The row of "doomed" is there, its folder read ahead but not yet walked.
        if (deleted || !h.paths().contains("/d/x/doomed") || !h.fs.waitRead("/d/x/doomed"))
            return;
        h.fs.removeFromTree("/d/x/doomed");
        h.command.diskChanged("/d/x/doomed");
        deleted = true;
    };
    const QStringList rows = h.search("/d");
    ASSERT_TRUE(deleted);
    EXPECT_FALSE(rows.contains("/d/x/doomed/gone.txt"));
    EXPECT_FALSE(rows.contains("/d/x/doomed/deeper"));
    EXPECT_TRUE(rows.contains("/d/x/later49"));
}

TEST(ReadAhead, AFolderRenamedAfterItsSubFoldersWereReadAheadIsSearchedUnderItsNewName)
{
    fakes::Harness<GatedFileSystem> h(fourWorkers());
    h.fs.tree.add("/r/a/deep/two");
    h.fs.tree.add("/r/a/one");
    for (int i = 0; i < 20; ++i)
        h.fs.tree.add("/r/z" + QByteArray::number(i));
    bool renamed = false;
    h.controls.onYield = [&](int) {
        if (renamed || !h.paths().contains("/r/a/deep") || !h.fs.waitRead("/r/a/deep"))
            return;
        h.fs.renameInTree("/r/a", "/r/b");
        h.results.renameResultRow(0, "b"); // the rename action's own row
        h.command.entryRenamed("/r/a", "/r/b");
        renamed = true;
    };
    const QStringList rows = h.search("/r");
    ASSERT_TRUE(renamed);
    EXPECT_TRUE(rows.contains("/r/b/deep/two"));
    EXPECT_TRUE(rows.contains("/r/b/one"));
    EXPECT_EQ(rows.filter("/r/a").size(), 0) << rows.join(" ").toStdString();
}

} // namespace
