// Folders read ahead on worker threads: whatever order the workers finish in, rows come in queue
// order; a stop while workers wait on the disk ends the search and joins them; a delete inside a
// yield leaves nothing of what was read ahead below it.
#include "gated_file_system.h"

#include "search/found_rows.h"
#include "search/results/result_list.h"
#include "search/walk/folder_walker.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

namespace {

using namespace std::chrono_literals;

using fakes::GatedFileSystem;

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

// A hung disk: the listings never end by themselves, whatever the cancel says. The search ends at
// the stop all the same; the workers leave once the disk answers, and read nothing more then.
TEST(ReadAhead, AStopEndsTheSearchWhileEveryWorkerIsStuckOnTheDisk)
{
    fakes::Harness<GatedFileSystem> h(fourWorkers());
    h.fs.gatesHeedCancel = false;
    for (int i = 0; i < 8; ++i) {
        const QByteArray folder = "/s/d" + QByteArray::number(i);
        for (int f = 0; f < 50; ++f)
            h.fs.tree.add(folder + "/f" + QByteArray::number(f));
        h.fs.close(folder);
    }
    std::atomic<int> entriesAfterStop{0};
    std::atomic<bool> stopped{false};
    h.fs.onEntry = [&](const QByteArray&, QByteArrayView) { entriesAfterStop += stopped.load(); };
    h.controls.onYield = [&](int) {
        // The root walked, the walk waiting on its first sub-folder, every worker on the disk.
        if (h.results.totalRows() == 8 && h.fs.listingsUnderWay() >= 4 && !stopped) {
            stopped = true;
            h.command.StopSearch();
        }
    };
    h.search("/s");
    EXPECT_TRUE(stopped);
    EXPECT_EQ(h.fs.listingsUnderWay(), 4) << "the search waited for the disk";
    EXPECT_EQ(h.results.totalRows(), 8);
    EXPECT_EQ(h.controls.status[2], "已完成搜索");
    h.fs.openAll();
    while (h.fs.listingsUnderWay() > 0)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(20ms);
    EXPECT_LE(entriesAfterStop, 4) << "a cancelled worker read past the entry it was fetching";
}

// Closing the window while workers hang on a dead disk: the walker goes at once, and the stuck
// workers, once the disk answers, leave without touching anything but the file system's listing.
TEST(ReadAhead, TheWalkerGoesAtOnceWhileItsWorkersHangOnTheDisk)
{
    GatedFileSystem fs;
    fs.gatesHeedCancel = false;
    for (int i = 0; i < 8; ++i) {
        fs.tree.add("/s/d" + QByteArray::number(i) + "/f");
        fs.close("/s/d" + QByteArray::number(i));
    }
    {
        fakes::FakeIcons icons;
        search::ResultList results;
        search::FoundRows found(results, icons);
        std::unique_ptr<search::FolderWalker> walker;
        walker = std::make_unique<search::FolderWalker>(fs, found, [&](const search::WalkProgress&) {
            if (fs.listingsUnderWay() >= 4)
                walker->stop();
        }, search::YieldPolicy{}, fourWorkers());
        walker->walk(search::makeMatchCriteria("*", 0, false, false, true), search::WalkRoots{{"/s"}, false, false});
    }
    EXPECT_EQ(fs.listingsUnderWay(), 4) << "the walker waited for the disk";
    fs.openAll();
    while (fs.liveListings() > 0 || fs.listingsUnderWay() > 0)
        std::this_thread::sleep_for(1ms);
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

// Both workers fill the budget with two big folders while the walk is on their parent; a change
// in an earlier folder makes its queued sub-folder out of date, read afresh at its turn. That
// fresh folder must find a worker although both hold folders the budget holds back.
TEST(ReadAhead, AFolderReadAfreshWhileTheBudgetIsFullIsStillRead)
{
    search::ReadAheadPolicy policy;
    policy.workers = 2;
    policy.entriesAhead = 4;
    policy.entriesPerChunk = 1;
    fakes::Harness<GatedFileSystem> h(policy);
    fakes::Harness<> reference;
    for (auto* tree : {&h.fs.tree, &reference.fs}) {
        tree->add("/r/p/x");
        tree->add("/r/p/s/inside");
        for (int i = 0; i < 40; ++i) {
            tree->add("/r/q/big1/f" + QByteArray::number(i));
            tree->add("/r/q/big2/g" + QByteArray::number(i));
        }
    }
    reference.fs.remove("/r/p/x");
    bool changed = false;
    h.controls.onYield = [&](int n) {
        if (n > 20000)
            h.command.StopSearch(); // the search would never end
        if (changed || h.controls.status[2] != "正在搜索: /r/q" || !h.fs.wasRead("/r/p/s"))
            return;
        h.fs.removeFromTree("/r/p/x");
        h.results.removeResultRow(int(h.paths().indexOf("/r/p/x")));
        h.command.diskChanged("/r/p/x");
        changed = true;
    };
    const QStringList rows = h.search("/r");
    EXPECT_TRUE(changed);
    EXPECT_EQ(rows, reference.search("/r"));
    EXPECT_EQ(h.controls.status[2], "已完成搜索");
}

// The walk's folder renamed from the window before its listing opened, or a folder above it:
// the folder is opened under its new name, not lost with everything below it.
TEST(ReadAhead, AFolderRenamedBeforeItsListingOpenedIsReadUnderItsNewName)
{
    for (const char* walked : {"/r/a", "/r/a/deep"}) {
        SCOPED_TRACE(walked);
        search::ReadAheadPolicy policy = fourWorkers();
        policy.openFolders = 1; // no folder but the last stays open: "a/deep" goes from "/r"
        fakes::Harness<GatedFileSystem> h(policy);
        for (const char* path : {"/r/a/one", "/r/a/deep/two", "/r/a/deep/three", "/r/z/zz"})
            h.fs.tree.add(path);
        std::mutex mutex;
        std::condition_variable released;
        bool opening = false, renamed = false;
        h.fs.onOpen = [&](const QByteArray& path) {
            std::unique_lock lock(mutex);
            if (path != walked || renamed)
                return;
            opening = true;
            released.wait(lock, [&] { return renamed; });
        };
        h.controls.onYield = [&](int) {
            const std::lock_guard lock(mutex);
            if (!opening || renamed || !h.paths().contains("/r/a"))
                return;
            h.fs.renameInTree("/r/a", "/r/b");
            h.results.renameResultRow(int(h.paths().indexOf("/r/a")), "b");
            h.command.entryRenamed("/r/a", "/r/b");
            renamed = true;
            released.notify_all();
        };
        const QStringList rows = h.search("/r");
        EXPECT_TRUE(renamed);
        EXPECT_EQ(rows, (QStringList{"/r/b", "/r/z", "/r/b/one", "/r/b/deep", "/r/z/zz", "/r/b/deep/two",
                                     "/r/b/deep/three"}));
    }
}

// A folder swapped for a link to a folder outside the tree once the walk has listed it: what
// was queued below it is not read through the link.
TEST(ReadAhead, AFolderSwappedForALinkIsNotFollowed)
{
    fakes::Harness<GatedFileSystem> h(fourWorkers());
    h.fs.tree.add("/t/a/b/kdecoy.txt");
    for (int i = 0; i < 200; ++i)
        h.fs.tree.add("/t/wide/f" + QByteArray::number(i));
    h.fs.tree.add("/O/b/kprivate.txt");
    std::atomic<bool> swapped{false};
    h.fs.onEntry = [&](const QByteArray& folder, QByteArrayView) {
        if (folder != "/t/a" || swapped.exchange(true))
            return;
        h.fs.change([](fakes::FakeFileSystem& tree) {
            tree.rename("/t/a", "/t/a.old");
            tree.addLink("/t/a", "/O");
        });
    };
    const QStringList rows = h.search("/t");
    EXPECT_TRUE(swapped);
    EXPECT_TRUE(rows.filter("kprivate").isEmpty()) << rows.join(" ").toStdString();
}

} // namespace
