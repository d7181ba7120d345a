// Random trees, random read-ahead policies and random renames and deletes inside random yields,
// the walk's own folder and the folders above it among them, with listings that may hand out a
// renamed entry again under its new name, and a disk that now and then is read, so that the walk
// goes from reading its folders itself to leaving them to the workers and back: every search
// ends by itself, and its rows are those of the walk without workers over the tree as it stands
// at the end.
#include "gated_file_system.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

namespace {

using namespace std::chrono_literals;

#if defined(__SANITIZE_THREAD__)
constexpr int kSchedules = 400; // ThreadSanitizer runs every one ten times slower
#else
constexpr int kSchedules = 2000;
#endif

struct Schedule {
    explicit Schedule(uint32_t seed) : seed(seed), rng(seed) {}

    uint32_t seed;
    std::mt19937 rng;

    int below(int n) { return int(rng() % uint32_t(n)); }
    bool chance(int percent) { return below(100) < percent; }
    template <class T>
    T pick(std::initializer_list<T> values) { return values.begin()[below(int(values.size()))]; }

    search::ReadAheadPolicy policy()
    {
        search::ReadAheadPolicy p;
        p.workers = 1 + below(8);
        p.entriesAhead = pick<size_t>({1, 2, 4, 16, 1000, size_t(-1)});
        p.entriesPerChunk = pick<size_t>({1, 2, 3, 7, 64});
        p.walkBatch = pick<size_t>({1, 8, 4096});
        p.foldersAhead = pick<size_t>({1, 2, 8, 2048});
        p.openFolders = pick<size_t>({1, 2, 4, 1024});
        p.slowListing = pick<std::chrono::nanoseconds>({0ns, 1h});
        p.lookEvery = pick<std::chrono::nanoseconds>({0ns, 1ms});
        p.waitedEnough = pick<std::chrono::nanoseconds>({0ns, 1h});
        p.aheadFor = pick<std::chrono::nanoseconds>({0ns, 200us, 1h});
        return p;
    }

    void grow(fakes::FakeFileSystem& tree, const QByteArray& folder, int depth)
    {
        const int entries = depth > 0 && chance(5) ? 30 : below(6);
        for (int i = 0; i < entries; ++i) {
            const QByteArray path = folder + (chance(10) ? "/.h" : "/n") + QByteArray::number(i);
            if (depth < 4 && chance(35)) {
                tree.add(path + '/');
                grow(tree, path, depth + 1);
            } else {
                tree.add(path, i);
            }
        }
    }
};

class ChangingSearch {
public:
    ChangingSearch(Schedule& schedule, const search::ReadAheadPolicy& policy) : s_(schedule), h_(policy)
    {
        s_.grow(h_.fs.tree, "/r", 0);
        h_.fs.tree.add("/r/last/");
        // The disk answers at its own pace, so the workers finish in ever other orders.
        h_.fs.onEntry = [seed = s_.seed](const QByteArray& folder, QByteArrayView name) {
            if ((qHash(folder) ^ qHash(name) ^ seed) % 7 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(50));
        };
        h_.fs.listAgain = [this] { return s_.chance(50); };
        h_.fs.local = s_.chance(70);
        h_.fs.diskReads = [this, read = uint64_t(0)]() mutable -> std::optional<uint64_t> {
            return read += s_.chance(diskReadChance_) ? 4096 : 0;
        };
        h_.controls.checks[3] = s_.below(2);
        h_.controls.onYield = [this](int n) { onYield(n); };
    }

    QStringList run()
    {
        const QStringList rows = h_.search("/r");
        hung_ = h_.controls.yields > 100000;
        return rows;
    }
    bool hung() const { return hung_; }
    fakes::FakeFileSystem finalTree()
    {
        fakes::FakeFileSystem copy;
        h_.fs.change([&](fakes::FakeFileSystem& tree) { copy = tree; });
        return copy;
    }
    int hidden() const { return h_.controls.checks[3]; }
    const std::string& log() const { return log_; } // the changes, in order

private:
    void onYield(int n)
    {
        if (n > 100000) {
            h_.command.StopSearch();
            return;
        }
        if (changes_ >= 6 || !s_.chance(8))
            return;
        const QStringList rows = h_.paths();
        QByteArray target;
        if (s_.chance(50) && h_.controls.status[2].startsWith("正在搜索: /r/")) {
            // The walk's own folder, or a folder above it.
            QByteArray path = h_.controls.status[2].mid(6).toUtf8();
            for (int up = s_.below(3); up > 0 && path.count('/') > 2; --up)
                path.truncate(path.lastIndexOf('/'));
            target = path;
        } else if (!rows.isEmpty()) {
            target = rows[s_.below(int(rows.size()))].toUtf8();
        }
        bool exists = false;
        h_.fs.change([&](fakes::FakeFileSystem& tree) { exists = tree.find(target); });
        if (target.isEmpty() || target == "/r/last" || !exists)
            return;
        ++changes_;
        log_ += QStringLiteral("yield %1 on %2: ").arg(n).arg(h_.controls.status[2]).toStdString();
        if (s_.chance(50))
            remove(target);
        else
            rename(target);
    }

    void remove(const QByteArray& path)
    {
        log_ += "delete " + path.toStdString() + "; ";
        h_.fs.removeFromTree(path);
        // As the delete action does for its row; the rows below the entry go with it here, so
        // that the list can be compared with a walk of the tree as it stands.
        for (int row = int(h_.results.totalRows()) - 1; row >= 0; --row)
            if (platform::isSameOrBelow(h_.results.row(row).pathBytes(), path))
                h_.results.removeResultRow(row);
        h_.command.diskChanged(path);
    }

    void rename(const QByteArray& path)
    {
        // A hidden entry stays hidden, so that the list can be compared with a walk of the tree.
        const QByteArray name = (platform::lastComponent(path).startsWith('.') ? ".m" : "m") + QByteArray::number(++renames_);
        const QByteArray to = platform::containingFolder(path) + '/' + name;
        log_ += "rename " + path.toStdString() + " to " + to.toStdString() + "; ";
        h_.fs.renameInTree(path, to);
        const int row = int(h_.paths().indexOf(QString::fromUtf8(path)));
        if (row >= 0)
            h_.results.renameResultRow(row, name);
        h_.command.entryRenamed(path, to);
    }

    Schedule& s_;
    fakes::Harness<fakes::GatedFileSystem> h_;
    int changes_ = 0;
    int renames_ = 0;
    int diskReadChance_ = s_.pick({0, 10, 50, 100});
    bool hung_ = false;
    std::string log_;
};

// Where two lists of rows part, and what one has that the other has not.
std::string difference(const QStringList& rows, const QStringList& expected)
{
    qsizetype at = 0;
    while (at < rows.size() && at < expected.size() && rows[at] == expected[at])
        ++at;
    QStringList missing, extra;
    for (const QString& row : expected)
        if (!rows.contains(row))
            missing << row;
    for (const QString& row : rows)
        if (!expected.contains(row))
            extra << row;
    return QStringLiteral("rows part at %1 (%2 against %3); missing: %4; extra: %5")
        .arg(at)
        .arg(rows.value(at), expected.value(at))
        .arg(missing.mid(0, 10).join(' '), extra.mid(0, 10).join(' '))
        .toStdString();
}

TEST(ReadAheadModel, EverySearchEndsWithTheRowsOfTheSequentialWalkOfTheTreeAsChanged)
{
    const uint32_t first = uint32_t(qEnvironmentVariableIntValue("SORVANE_FIRST_SEED"));
    for (uint32_t seed = first; seed < first + kSchedules; ++seed) {
        Schedule schedule(seed);
        const search::ReadAheadPolicy policy = schedule.policy();
        const auto trace = [&] {
            return testing::Message() << "seed " << seed << " (SORVANE_FIRST_SEED=" << seed << "): " << policy.workers
                                      << " workers, " << policy.entriesAhead << " entries and " << policy.foldersAhead
                                      << " folders ahead, chunks of " << policy.entriesPerChunk << ", "
                                      << policy.openFolders << " open folders, slow listing "
                                      << policy.slowListing.count() << " ns, ahead for " << policy.aheadFor.count()
                                      << " ns";
        };
        ChangingSearch search(schedule, policy);
        const QStringList rows = search.run();
        ASSERT_FALSE(search.hung()) << trace();

        fakes::Harness<> sequential;
        sequential.fs = search.finalTree();
        sequential.controls.checks[3] = search.hidden();
        const QStringList expected = sequential.search("/r");
        ASSERT_TRUE(rows == expected) << trace() << "\n" << search.log() << "\n" << difference(rows, expected);
    }
}

} // namespace
