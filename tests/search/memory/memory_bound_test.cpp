// The memory's bound: the locations searched least recently go first, a location inside a
// forgotten one stays whole, and a walk larger than the bound stops being recorded.
#include "search/memory/walk_memory.h"

#include <gtest/gtest.h>

namespace {

using search::EntryTraits;
using search::FolderState;
using search::WalkMemory;

const EntryTraits kFile = EntryTraits::fromAttributes(0u);
const EntryTraits kFolder = EntryTraits::fromAttributes(uint32_t(platform::Directory));

// A root holding folders "d0".."dN" of files each, walked to its end; inodes from inode on.
void recordFlat(WalkMemory& memory, const QByteArray& root, uint64_t inode, int folders, int files)
{
    const uint64_t location = memory.beginLocation(root, false);
    const search::MemoryFolder top = memory.beginRoot(location, {1, inode});
    std::vector<uint32_t> entries;
    for (int d = 0; d < folders; ++d)
        entries.push_back(memory.addEntry("d" + QByteArray::number(d), kFolder));
    memory.endFolder(FolderState::Listed);
    for (int d = 0; d < folders; ++d) {
        memory.beginFolder(top, entries[size_t(d)], {1, inode + 1 + uint64_t(d)});
        for (int f = 0; f < files; ++f)
            memory.addEntry("f" + QByteArray::number(f), kFile, 10, 20);
        memory.endFolder(FolderState::Listed);
    }
    memory.endLocation(location, true);
}

TEST(WalkMemoryBound, TheLocationsSearchedLeastRecentlyAreForgottenFirst)
{
    WalkMemory memory({.entries = 100});
    recordFlat(memory, "/a", 100, 4, 10); // 44 entries each
    recordFlat(memory, "/b", 200, 4, 10);
    memory.touch(memory.find("/a")->location);
    recordFlat(memory, "/c", 300, 4, 10);
    EXPECT_TRUE(memory.find("/a/d3"));
    EXPECT_FALSE(memory.find("/b"));
    EXPECT_TRUE(memory.find("/c/d3"));
    EXPECT_EQ(memory.entries(), 88u);
}

TEST(WalkMemoryBound, ALocationInsideAForgottenOneKeepsItsTree)
{
    WalkMemory memory({.entries = 100});
    recordFlat(memory, "/o", 100, 3, 20);
    // Searched again from inside: its folders are the outer location's, listed anew.
    const uint64_t inner = memory.beginLocation("/o/d1", false);
    memory.beginRoot(inner, {1, 102});
    for (int f = 0; f < 20; ++f)
        memory.addEntry("g" + QByteArray::number(f), kFile);
    memory.endFolder(FolderState::Listed);
    memory.endLocation(inner, true);
    EXPECT_EQ(memory.entries(), 63u); // one record for the folder, whichever walk listed it
    recordFlat(memory, "/z", 200, 1, 40); // over the bound: "/o" was searched least recently
    EXPECT_FALSE(memory.find("/o"));
    ASSERT_TRUE(memory.find("/o/d1"));
    EXPECT_EQ(memory.folder(memory.find("/o/d1")->folder)->listing.size(), 20u);
    EXPECT_EQ(memory.entries(), 20u + 41u);
}

TEST(WalkMemoryBound, AWalkLargerThanTheBoundIsCutThereAndEndsIncomplete)
{
    for (const search::MemoryBound bound :
         {search::MemoryBound{.entries = 100}, search::MemoryBound{.bytes = 16 << 10}}) {
        WalkMemory memory(bound);
        recordFlat(memory, "/big", 100, 30, 20);
        EXPECT_LE(memory.entries(), bound.entries + 20u); // one folder beyond it at the most
        EXPECT_LE(memory.bytes(), bound.bytes + (4u << 10));
        ASSERT_TRUE(memory.find("/big/d0"));
        EXPECT_FALSE(memory.find("/big/d29"));
        EXPECT_FALSE(memory.find("/big")->locationComplete);
    }
}

} // namespace
