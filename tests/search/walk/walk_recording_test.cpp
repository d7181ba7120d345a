// The walk records what it lists into the memory, on a thread of its own: random trees walked
// with workers reading ahead, changed between two walks, and walks stopped at a random yield; the
// memory's answer for any request then equals a fresh walk's rows where the last walk ended by
// itself, and names only entries that walk listed where it was stopped.
#include "random_tree.h"

#include "search/memory/memory_answer.h"
#include "search/memory/walk_memory.h"
#include "search/walk/walk_recorder.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace randomtree;

#if defined(__SANITIZE_THREAD__)
constexpr int kSchedules = 150;
#else
constexpr int kSchedules = 1500;
#endif

// Every remembered entry below /r that the request accepts, as the rows would show its path.
QStringList answer(const search::WalkMemory& memory, const QString& name, bool hidden)
{
    const std::optional<search::RememberedFolder> root = memory.find("/r");
    if (!root)
        return {};
    search::MemoryAnswer answer(memory, root->folder, "/r", search::makeMatchCriteria(name, 0, false, false, hidden, false));
    std::vector<search::MemoryHit> hits;
    while (answer.next(hits, 1000)) {
    }
    QStringList paths;
    for (const search::MemoryHit& hit : hits) {
        const std::optional<search::RememberedEntry> entry = answer.entry(hit);
        paths << QString::fromUtf8(entry->folder + '/' + entry->name.toByteArray());
    }
    return paths;
}

TEST(WalkRecording, TheMemoryAnswersAsAFreshWalkOfTheTreeAsTheLastWalkListedIt)
{
    const uint32_t first = std::max(1, qEnvironmentVariableIntValue("SORVANE_FIRST_SEED"));
    for (uint32_t seed = first; seed < first + kSchedules; ++seed) {
        Rng r(seed);
        fakes::Harness<fakes::GatedFileSystem> h(readAhead(r));
        plant(r, h.fs);
        search::WalkMemory memory;
        h.command.setMemory(&memory);
        h.controls.checks[3] = r.below(2);
        const QStringList all = h.search("/r", pattern(r));
        // The second walk records the tree as changed, or is stopped at a random yield (the tree
        // unchanged, since the folders it did not list again answer as the first walk saw them).
        const bool stops = r.chance(30);
        h.controls.checks[3] = 1;
        if (!stops)
            change(r, h.fs, h.search("/r", "*"));
        const int stopAt = 1 + r.below(40);
        h.controls.onYield = [&](int n) {
            if (stops && n == stopAt)
                h.command.StopSearch();
        };
        h.controls.checks[3] = r.below(2);
        h.search("/r", pattern(r));
        h.controls.onYield = nullptr;
        const bool stopped = h.command.state().StopRequested;
        h.command.setMemory(nullptr);

        const std::optional<search::RememberedFolder> root = memory.find("/r");
        ASSERT_TRUE(root) << "seed " << seed;
        // A stop met at the walk's last yield leaves it whole.
        EXPECT_TRUE(root->locationComplete || stopped) << "seed " << seed;
        for (int i = 0; i < 3; ++i) {
            const QString name = pattern(r);
            const bool hidden = r.chance(50);
            h.controls.checks[3] = hidden;
            const QStringList fresh = h.search("/r", name);
            const QStringList remembered = answer(memory, name, hidden);
            if (root->locationComplete) {
                EXPECT_EQ(remembered, fresh) << "seed " << seed << ", pattern " << name.toStdString();
                continue;
            }
            for (const QString& path : remembered)
                EXPECT_TRUE(fresh.contains(path)) << "seed " << seed << ": " << path.toStdString();
        }
    }
}

} // namespace

namespace {

// A walk long enough that its recording goes over in many batches, each reused once recorded:
// the memory holds every entry once, in the walk's order.
TEST(WalkRecording, AWalkHandedOverInManyBatchesIsRememberedWhole)
{
    fakes::Harness<fakes::GatedFileSystem> h(search::ReadAheadPolicy::off());
    h.fs.tree.add("/r/");
    for (int folder = 0; folder < 40; ++folder) {
        const QByteArray path = "/r/folder" + QByteArray::number(folder);
        h.fs.tree.add(path + '/');
        for (int entry = 0; entry < 100; ++entry)
            h.fs.tree.add(path + '/' + QByteArray(40, 'n') + QByteArray::number(entry), entry);
    }
    search::WalkMemory memory;
    h.command.setMemory(&memory);
    h.controls.checks[3] = 1;
    const QStringList walked = h.search("/r", "*");
    h.command.setMemory(nullptr);
    ASSERT_EQ(walked.size(), 40 * 101);
    EXPECT_EQ(answer(memory, "*", true), walked);
}

// A search shows the memory's answer while its walk starts: the recorder, made held, leaves the
// memory as it was (under ThreadSanitizer, a recorder that did not wait is a race with the reads
// here) until it is released, and then records everything handed over meanwhile.
TEST(WalkRecording, AHeldRecorderLeavesTheMemoryToItsReaderUntilReleased)
{
    search::WalkMemory memory;
    search::WalkRecorder recorder(memory, true);
    const uint64_t before = memory.changes();
    recorder.beginLocation("/r", false);
    recorder.beginRoot({1, 1});
    search::EntryChunk chunk;
    for (uint32_t i = 0; i < 20'000; ++i) { // more than a hand-over's worth
        const std::string name = "entry" + std::to_string(i);
        chunk.entries.push_back({search::ListedEntry::Kind::File, false, false, false, uint32_t(chunk.names.size()),
                                 uint32_t(name.size()), std::nullopt, std::nullopt});
        chunk.names += name;
    }
    recorder.addChunk(chunk, {});
    recorder.endFolder(search::FolderState::Listed);
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // time enough to record, were it not held
    EXPECT_EQ(memory.changes(), before);
    EXPECT_FALSE(memory.find("/r"));

    recorder.release();
    recorder.endLocation(true);
    recorder.finish();
    ASSERT_TRUE(memory.find("/r"));
    EXPECT_EQ(memory.entries(), 20'000u);
}

} // namespace
