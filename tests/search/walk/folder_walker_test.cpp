// The walker on its own, without any window: its yield clock, the categories of the table, and
// an entry renamed while the walk runs.
#include "tests/search/fakes.h"

#include "search/match/file_type_categories.h"
#include "search/found_rows.h"
#include "search/results/result_list.h"
#include "search/walk/folder_walker.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using search::FolderWalker;
using search::MatchCriteria;
using search::WalkProgress;
using search::WalkRoots;

struct WalkerRig {
    fakes::FakeFileSystem fs;
    fakes::FakeIcons icons;
    search::ResultList results;
    search::FoundRows found{results, icons};
    std::function<void(const WalkProgress&)> onYield;
    int yields = 0;
    FolderWalker walker;

    explicit WalkerRig(search::YieldPolicy policy = {})
        : walker(fs, found, [this](const WalkProgress& p) {
              ++yields;
              if (onYield)
                  onYield(p);
          }, std::move(policy), search::ReadAheadPolicy::off())
    {
    }

    QStringList walk(const QByteArray& root, MatchCriteria criteria = search::makeMatchCriteria("*", 0, false, false, false))
    {
        yields = 0;
        walker.walk(criteria, WalkRoots{{root}, false, false});
        QStringList paths;
        for (int i = 0; i < results.totalRows(); ++i)
            paths << results.row(i).pathText();
        found.clear();
        return paths;
    }
};

void addFiles(fakes::FakeFileSystem& fs, const QByteArray& folder, int count)
{
    for (int i = 0; i < count; ++i)
        fs.add(folder + "/f" + QByteArray::number(i));
}

TEST(WalkerYields, AYieldComesOnlyOnceTheIntervalHasPassedAndNeverBetweenTwoClockChecks)
{
    std::chrono::steady_clock::time_point now{};
    std::chrono::milliseconds step = 0ms;
    search::YieldPolicy policy = search::YieldPolicy::every(8ms);
    policy.clock = [&] {
        now += step;
        return now;
    };
    WalkerRig rig(std::move(policy));
    addFiles(rig.fs, "/y", 318); // with "." and "..": 320 entries, 20 clock checks

    // A clock that stands still never lets the interval pass.
    rig.walk("/y");
    EXPECT_EQ(rig.yields, 0);

    // 1 ms between readings: every eighth check finds the interval passed.
    step = 1ms;
    rig.walk("/y");
    EXPECT_EQ(rig.yields, 2); // at the checks when 8 and 16 ms had passed since the last yield
    EXPECT_EQ(rig.walker.stats().longestGap, 8ms);

    // A slow walk yields at every check, never more often.
    step = 20ms;
    rig.walk("/y");
    EXPECT_EQ(rig.yields, 20);
}

TEST(WalkerCategories, EachCategoryOfTheTableTakesItsOwnFilesAndNoFolder)
{
    WalkerRig rig;
    const struct {
        int index;
        QStringList names; // of files the category takes
    } cases[] = {
        {4, {"a.mp3", "b.MIDI", "c.snd", "d.cda"}},
        {5, {"e.mpg", "f.rmvb", "d.cda", "g.Mov"}},
        {6, {"h.htm", "i.shtml", "j.jsp"}},
        {7, {"k.ico", "l.ICL"}},
        {8, {"m.ani", "n.cur"}},
    };
    QStringList all;
    for (const auto& c : cases)
        all << c.names;
    all.removeDuplicates();
    for (const QString& name : all)
        rig.fs.add("/c/" + name.toUtf8());
    rig.fs.add("/c/folder.mp3/inside.txt"); // a folder of a taken extension is searched, not a row
    rig.fs.add("/c/plain.txt");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        QStringList expected;
        for (const QString& name : all)
            if (c.names.contains(name))
                expected << "/c/" + name;
        EXPECT_EQ(rig.walk("/c", search::makeMatchCriteria("*", c.index, false, false, false)), expected);
        EXPECT_EQ(rig.fs.listed.back(), "/c/folder.mp3");
    }
}

TEST(WalkerRename, AFolderRenamedDuringTheWalkIsSearchedUnderItsNewNameAndItsRowsFollow)
{
    WalkerRig rig;
    rig.fs.add("/r/a/one");
    rig.fs.add("/r/a/deep/two");
    rig.fs.add("/r/a/deep/deeper/three");
    rig.fs.add("/r/z");
    bool renamed = false;
    rig.onYield = [&](const WalkProgress&) {
        // Once "/r/a" has been walked, with "/r/a/deep" still queued.
        if (!renamed && rig.results.totalRows() == 4) {
            rig.fs.rename("/r/a", "/r/b");
            rig.walker.entryRenamed("/r/a", "/r/b");
            rig.results.renameResultRow(0, "b"); // as the rename action does for the row itself
            renamed = true;
        }
    };
    EXPECT_EQ(rig.walk("/r"), (QStringList{"/r/b", "/r/z", "/r/b/one", "/r/b/deep", "/r/b/deep/two",
                                           "/r/b/deep/deeper", "/r/b/deep/deeper/three"}));
    EXPECT_TRUE(renamed);
    EXPECT_EQ(rig.fs.listed, (std::vector<QByteArray>{"/r", "/r/a", "/r/b/deep", "/r/b/deep/deeper"}));
}

} // namespace
