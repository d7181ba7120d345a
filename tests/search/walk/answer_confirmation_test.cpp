// A search of a remembered location shows the memory's answer first and the walk then confirms
// it: random trees, changed between the searches, rows deleted and renamed from the window at
// random yields of the second search (before its walk and during it), random requests and stops. Where the
// second search ends by itself, its rows (paths, sizes, times, in order) are a fresh walk's of
// the tree as it is then, and none is left unconfirmed; every row shown unconfirmed at any yield
// names an entry the first walk listed; a stop leaves the rest unconfirmed and counts them.
#include "random_tree.h"

#include "search/memory/walk_memory.h"
#include "search/results/result_texts.h"

#include <gtest/gtest.h>

#include <QSet>

namespace {

using namespace randomtree;

#if defined(__SANITIZE_THREAD__)
constexpr int kSchedules = 100;
#else
constexpr int kSchedules = 1500;
#endif

QStringList shownRows(const search::ResultList& results)
{
    QStringList rows;
    for (int i = 0; i < results.totalRows(); ++i) {
        const search::ResultRow& row = results.row(i);
        rows << row.pathText() + '|' + row.sizeText() + '|' + row.modifiedText() + (row.unconfirmed ? "|grey" : "");
    }
    return rows;
}

TEST(AnswerConfirmation, TheWalkLeavesAFreshWalksRowsAndTheMemoryShowedOnlyEntriesItListed)
{
    const uint32_t first = std::max(1, qEnvironmentVariableIntValue("SORVANE_FIRST_SEED"));
    for (uint32_t seed = first; seed < first + kSchedules; ++seed) {
        Rng r(seed);
        fakes::Harness<fakes::GatedFileSystem> h(readAhead(r));
        plant(r, h.fs);
        search::WalkMemory memory;
        h.command.setMemory(&memory);
        // The memory's rows join the list a few at a time, at the walk's yields, or all before it.
        const size_t firstRows = r.chance(30) ? 1000000 : size_t(1 + r.below(6));
        h.command.setAnswerPace({firstRows, size_t(1 + r.below(3)), std::chrono::nanoseconds(0), 1 + r.below(12)});
        h.controls.checks[3] = 1;
        const QStringList listedList = h.search("/r", "*");
        QSet<QString> listed(listedList.begin(), listedList.end());
        change(r, h.fs, listedList);

        const QString name = pattern(r);
        h.controls.checks[1] = r.below(2); // whole word: wildcards as wildcards
        h.controls.checks[3] = r.below(2);
        const int stopAt = r.chance(30) ? 1 + r.below(30) : -1;
        bool stopped = false;
        QStringList renamed; // a renamed row stays whatever its new name, as in any search
        h.controls.onYield = [&](int n) {
            QSet<QString> shown; // no entry has two rows, one from memory and one from the walk
            for (int i = 0; i < h.results.totalRows(); ++i) {
                const search::ResultRow& row = h.results.row(i);
                ASSERT_TRUE(!row.unconfirmed || listed.contains(row.pathText()))
                    << "seed " << seed << ": " << row.pathText().toStdString();
                ASSERT_FALSE(shown.contains(row.pathText())) << "seed " << seed << ": two rows of " << row.pathText().toStdString();
                shown.insert(row.pathText());
            }
            if (n == stopAt) {
                h.command.StopSearch();
                stopped = true;
            } else if (h.results.totalRows() > 0 && r.chance(15)) { // the delete or rename menu item
                const int row = r.below(int(h.results.totalRows()));
                const QByteArray path = h.results.row(row).pathBytes();
                bool exists = false;
                h.fs.change([&](fakes::FakeFileSystem& tree) { exists = tree.find(path) != nullptr; });
                if (!exists) // the action would have failed
                    return;
                if (r.chance(50)) {
                    h.fs.removeFromTree(path);
                    h.command.diskChanged(path);
                    h.command.entryDeleted(path);
                    return;
                }
                const QByteArray newName = h.results.row(row).name.bytes() + "n";
                h.fs.renameInTree(path, h.results.row(row).folder + '/' + newName);
                h.command.entryRenamed(path, h.results.row(row).folder + '/' + newName);
                h.results.renameResultRow(row, newName);
                renamed << QString::fromUtf8(h.results.row(row).pathBytes());
                for (int i = 0; i < h.results.totalRows(); ++i) // as the window renamed them
                    listed.insert(h.results.row(i).pathText());
            }
        };
        h.search("/r", name);
        h.controls.onYield = nullptr;
        const QStringList confirmed = shownRows(h.results);
        const QString ended = h.controls.status[2];
        const int64_t unconfirmed = h.results.unconfirmedRows();

        h.command.setMemory(nullptr);
        h.search("/r", name);
        const QStringList fresh = shownRows(h.results);
        const auto besideRenamed = [&](QStringList rows) {
            rows.removeIf([&](const QString& row) {
                return std::any_of(renamed.begin(), renamed.end(), [&](const QString& path) {
                    return row.startsWith(path + '|') || row.startsWith(path + '/');
                });
            });
            return rows;
        };
        if (!stopped) {
            EXPECT_EQ(besideRenamed(confirmed), besideRenamed(fresh)) << "seed " << seed << ", pattern " << name.toStdString();
            continue;
        }
        const QString untold = search::numberText(unconfirmed) + " 个结果未核对）";
        EXPECT_EQ(ended.endsWith(untold), unconfirmed > 0) << "seed " << seed << ": " << ended.toStdString();
        for (const QString& row : besideRenamed(confirmed))
            EXPECT_TRUE(row.endsWith("|grey") || fresh.contains(row)) << "seed " << seed << ": " << row.toStdString();
    }
}

} // namespace
