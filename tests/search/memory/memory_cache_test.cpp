// The memory through its cache file: read back, it answers as it did; a file cut short, with a
// byte changed, of another version, or whose counts ask for more than it holds, even under a
// sound checksum, gives no memory, and the next save replaces it.
#include "memory_model.h"

#include "search/memory/memory_cache.h"
#include "search/memory/memory_file.h"
#include "tests/support/qt_printers.h"
#include "tests/support/temporary_tree.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

using namespace memorymodel;

class MemoryCacheTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        Random random(7);
        walk(memory_, model_, tree_, "/r", random, -1);
    }

    QByteArray path() const { return QFile::encodeName(dir_.path()) + "/walk-memory"; }
    // Every remembered folder's answer to a request that accepts every entry.
    QStringList everything(const search::WalkMemory& memory) const
    {
        search::MatchCriteria all;
        all.includeHidden = true;
        QStringList rows;
        for (const auto& [path, folder] : model_.folders)
            if (const std::optional<search::RememberedFolder> found = memory.find(path))
                rows << answerRows(memory, *found, path, all, {}, 100);
        return rows;
    }
    void writePayload(QByteArrayView payload, uint32_t version = search::kWalkMemoryVersion) const
    {
        const platform::CacheFile file(dir_.path(), "walk-memory",
                                       {search::kWalkMemoryMagic, version, int64_t(search::MemoryBound().bytes)});
        ASSERT_TRUE(
            file.write([&](QIODevice& out) { return out.write(payload.data(), payload.size()) == payload.size(); }));
    }

    QTemporaryDir dir_;
    Random random_{3};
    Tree tree_{random_};
    search::WalkMemory memory_;
    Model model_;
    platform::CacheFile file_ = search::walkMemoryFile(dir_.path());
};

TEST_F(MemoryCacheTest, AMemorySavedAndLoadedGivesTheSameAnswers)
{
    ASSERT_GT(memory_.entries(), 10u);
    ASSERT_TRUE(search::saveWalkMemory(memory_, file_));
    const std::optional<search::WalkMemory> loaded = search::loadWalkMemory(file_);
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->entries(), memory_.entries());
    EXPECT_EQ(everything(*loaded), everything(memory_));
}

TEST_F(MemoryCacheTest, AFileCutShortChangedOrOfAnotherVersionGivesNoMemoryAndIsReplaced)
{
    ASSERT_TRUE(search::saveWalkMemory(memory_, file_));
    const QByteArray whole = testsupport::readFile(path());
    for (qsizetype size = 0; size < whole.size(); ++size) {
        testsupport::writeFile(path(), whole.left(size), 0600);
        ASSERT_FALSE(search::loadWalkMemory(file_)) << "cut at " << size;
    }
    for (qsizetype at = 0; at < whole.size(); ++at) {
        QByteArray changed = whole;
        changed[at] = char(changed[at] ^ (at % 2 ? 0x01 : 0x80));
        testsupport::writeFile(path(), changed, 0600);
        ASSERT_FALSE(search::loadWalkMemory(file_)) << "byte " << at;
    }
    writePayload(whole.mid(12, whole.size() - 24), search::kWalkMemoryVersion + 1);
    EXPECT_FALSE(search::loadWalkMemory(file_));
    ASSERT_TRUE(search::saveWalkMemory(memory_, file_));
    EXPECT_TRUE(search::loadWalkMemory(file_));
}

TEST_F(MemoryCacheTest, CountsAskingForMoreThanTheFileHoldsGiveNoMemoryUnderASoundChecksum)
{
    const QByteArray huge = "\xff\xff\xff\xff\xff\xff\xff\xff\x7f";
    const QByteArray location = QByteArray("\x01\x02/r\x00\x01\x00", 7);
    const QByteArray record = QByteArray("\x00\x01\x00\x00\x00", 5); // volume, inode, no parent, entry, listed
    for (const QByteArray& payload : {huge, QByteArray(1, '\0') + huge,             // locations, records
                                      location + '\x01' + record + huge,            // entries
                                      location + '\x01' + record + '\x01' + huge}) { // a name's length
        writePayload(payload);
        EXPECT_FALSE(search::loadWalkMemory(file_)) << payload.toHex().constData();
    }
    writePayload(location + '\x01' + record + '\x01' + "\x01\x04" + "n"); // the same, sound: a file "n"
    EXPECT_TRUE(search::loadWalkMemory(file_));
}

} // namespace
