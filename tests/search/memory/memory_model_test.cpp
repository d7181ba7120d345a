// Random trees walked into a memory again and again, with stops, changes between the walks,
// folders gone, unreadable or passed over, and walks from folders inside others: every folder the
// model remembers is found, and its answer, for a random request taken in random slices by
// threads of random number, is the model's breadth-first rows; the cache file's bytes read back
// give the same answers.
#include "memory_model.h"

#include "search/memory/memory_file.h"

#include <gtest/gtest.h>

#include <QBuffer>

namespace {

using namespace memorymodel;

#if defined(__SANITIZE_THREAD__)
constexpr int kSchedules = 300; // ThreadSanitizer runs every one ten times slower
#else
constexpr int kSchedules = 2000;
#endif

// A path as a caller might spell it: with a doubled or a trailing "/".
QByteArray spelled(const QByteArray& path, Random& random)
{
    if (random.chance(10))
        return path + '/';
    if (random.chance(10))
        return QByteArray(path).replace("/r", "//r");
    return path;
}

search::AnswerPolicy randomPolicy(Random& random)
{
    search::AnswerPolicy policy;
    const uint32_t sizes[] = {1, 3, 16, 1 << 14};
    policy.firstBatch = sizes[random.below(4)];
    policy.largestBatch = sizes[random.below(4)];
    policy.parallelFrom = sizes[random.below(4)];
    policy.threads = 1 + unsigned(random.below(3));
    return policy;
}

// Where an answer may be asked for: a remembered folder, a folder of the tree, or neither.
QByteArray somePath(const Model& model, const Tree& tree, Random& random)
{
    if (random.chance(10))
        return "/r/nothing-" + QByteArray::number(random.below(3));
    if (random.chance(50) && !model.folders.empty())
        return std::next(model.folders.begin(), random.below(int(model.folders.size())))->first;
    const std::vector<QByteArray> paths = tree.folderPaths();
    return paths[size_t(random.below(int(paths.size())))];
}

bool remembered(const Model& model, const QByteArray& path)
{
    const auto it = model.folders.find(canonical(path));
    return it != model.folders.end() && !it->second.gone;
}

TEST(WalkMemoryModel, EveryRememberedFolderAnswersTheBreadthFirstRowsOfTheLastListingsBelowIt)
{
    const uint32_t first = uint32_t(qEnvironmentVariableIntValue("SORVANE_FIRST_SEED"));
    for (uint32_t seed = first; seed < first + kSchedules; ++seed) {
        SCOPED_TRACE(testing::Message() << "seed " << seed << " (SORVANE_FIRST_SEED=" << seed << ")");
        Random random(seed);
        Tree tree(random);
        search::WalkMemory memory;
        Model model;
        for (int walks = 1 + random.below(4); walks > 0; --walks) {
            const std::vector<QByteArray> folders = tree.folderPaths();
            const QByteArray root =
                random.chance(60) ? QByteArray("/r") : folders[size_t(random.below(int(folders.size())))];
            walk(memory, model, tree, spelled(root, random), random, random.chance(50) ? random.below(40) : -1);
            tree.change(random.below(6));
            for (int question = 0; question < 4; ++question) {
                const QByteArray path = spelled(somePath(model, tree, random), random);
                const std::optional<search::RememberedFolder> found = memory.find(path);
                ASSERT_EQ(found.has_value(), remembered(model, path)) << path.constData();
                if (!found)
                    continue;
                const search::MatchCriteria request = randomRequest(random);
                const size_t slices[] = {1, 2, 5, 1000, SIZE_MAX};
                const QStringList rows =
                    answerRows(memory, *found, path, request, randomPolicy(random), slices[random.below(5)]);
                ASSERT_EQ(rows, model.answer(path, path, search::EntryFilter(request))) << path.constData();
            }
        }

        QBuffer out;
        out.open(QIODevice::WriteOnly);
        ASSERT_TRUE(search::writeWalkMemory(memory, out));
        QBuffer in(&out.buffer());
        in.open(QIODevice::ReadOnly);
        const std::optional<search::WalkMemory> read = search::readWalkMemory(in, in.size());
        ASSERT_TRUE(read.has_value());
        ASSERT_EQ(read->entries(), memory.entries());
        for (const auto& [path, folder] : model.folders) {
            const std::optional<search::RememberedFolder> before = memory.find(path), after = read->find(path);
            ASSERT_EQ(after.has_value(), before.has_value()) << path.constData();
            if (!after)
                continue;
            EXPECT_EQ(after->locationComplete, before->locationComplete) << path.constData();
            const search::MatchCriteria request = randomRequest(random);
            ASSERT_EQ(answerRows(*read, *after, path, request, {}, SIZE_MAX),
                      answerRows(memory, *before, path, request, {}, SIZE_MAX)) << path.constData();
        }
    }
}

} // namespace
